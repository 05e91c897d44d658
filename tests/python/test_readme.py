"""The examples of the README and of the pages under docs/ hold: every ```python block runs, its
>>> examples in order in one namespace per document, and each shows exactly its output, or its
exception as the REPL's last lines (`TypeError: message`, then any notes) without the traceback
header doctest would need."""

import contextlib
import doctest
import io
import re
import traceback
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
DOCUMENTS = [ROOT / "README.md", *sorted(ROOT.glob("docs/*.md"))]

# A block opts out only by saying so: ```python unchecked
BLOCK = re.compile(r"^```python(?P<info>[^\n]*)\n(?P<body>.*?)^```", re.M | re.S)
PROMPT = re.compile(r"^[ \t]*>>>(?: |$)", re.M)
PARSER = doctest.DocTestParser()
CHECKER = doctest.OutputChecker()


def run(source, namespace, where, mode):
    """What the source prints, then its exception as the REPL ends one; and whether it raised."""
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        try:
            exec(compile(source, where, mode), namespace)
        except Exception as exc:
            out.write("".join(traceback.format_exception_only(exc)))
            return out.getvalue(), True
    return out.getvalue(), False


def mismatches(text, name):
    """A report for each example of the document that does not show what it gives."""
    namespace = {"__name__": "__main__"}
    found, prompts = [], len(PROMPT.findall(text))
    for block in BLOCK.finditer(text):
        body = block["body"]
        if block["info"].split() == ["unchecked"]:
            prompts -= len(PROMPT.findall(body))
            continue
        first = text.count("\n", 0, block.start("body")) + 1
        examples = PARSER.get_examples(body)
        if not examples:   # plain code shows nothing to compare, but must run
            got, raised = run(body, namespace, f"{name}:{first}", "exec")
            if raised:
                found.append(f"{name}:{first}: the block raises\n{got}")
        for example in examples:
            line = first + example.lineno
            flags = sum(flag for flag, on in example.options.items() if on)
            got, _ = run(example.source, namespace, f"{name}:{line}", "single")
            prompts -= 1
            if not CHECKER.check_output(example.want, got, flags):
                found.append(f"{name}:{line}: {example.source.strip()}\n"
                             f"shown:\n{example.want}got:\n{got}")
    if prompts:
        found.append(f"{name}: {prompts} >>> lines outside ```python blocks, never run")
    return found


@pytest.mark.parametrize("document", DOCUMENTS, ids=lambda p: str(p.relative_to(ROOT)))
def test_every_example_shows_what_it_gives(document):
    if wrong := mismatches(document.read_text(encoding="utf-8"), document.name):
        pytest.fail("\n\n".join(wrong), pytrace=False)


SAMPLE = '''
```python
answer = 6 * 7
```

```python
>>> def fail(*notes):
...     error = LookupError("no such unit")
...     for note in notes:
...         error.add_note(note)
...     raise error
>>> print("printed"); answer
printed
42
>>> fail("first note", "second note")
LookupError: no such unit
first note
second note
>>> fail()
LookupError: no such unit
```

```python unchecked
>>> answer
43
```
'''


@pytest.mark.parametrize(("shown", "changed", "reported"), [
    ("", "", 0),                                                   # as given
    ("42", "43", 1),                                               # a value
    ("printed\n", "", 1),                                          # a printed line
    ("LookupError: no such unit\nfirst", "KeyError: no such unit\nfirst", 1),  # a type
    ("no such unit\nfirst", "no unit\nfirst", 1),                  # a message
    ("second note\n", "second\n", 1),                              # a note's text
    ("first note\nsecond note\n", "first note\n", 1),              # a note left out
    ("fail()\nLookupError: no such unit\n", "fail()\n", 1),        # an exception not shown
    ("42\n", "42\nLookupError: no such unit\n", 1),                # an exception not raised
    ("answer = 6 * 7", "answer = 6 * 8", 1),                       # plain code shares the namespace
    ("answer = 6 * 7", "answer = 6 * seven", 2),                   # plain code that raises
    ("python unchecked", "python", 1),                             # opting out is explicit
    ("python unchecked", "pycon", 1),                              # examples outside ```python
])
def test_a_changed_example_is_reported(shown, changed, reported):
    assert shown in SAMPLE
    assert len(mismatches(SAMPLE.replace(shown, changed, 1), "sample.md")) == reported


def test_the_tour_runs_to_its_end_and_saves_its_chart(tmp_path):
    """`./dev tour`, the README's first command, with the chart it draws."""
    import subprocess
    import sys

    for module in ("matplotlib", "xarray", "dask"):
        pytest.importorskip(module)
    png = tmp_path / "plot.png"
    run = subprocess.run([sys.executable, str(ROOT / "examples" / "tour.py"), str(png)],
                         capture_output=True, text=True, timeout=300)
    assert run.returncode == 0, run.stderr[-3000:]
    assert "\n11. " in run.stdout and "Traceback" not in run.stdout
    assert png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
