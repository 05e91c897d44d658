"""Deliberate type errors: mypy --strict must report each marked line with the marked code."""

from modrin import LogModrin, Modrin

q = Modrin.unit("m")
db = LogModrin.unit("dB")
Modrin.unit(5)  # E: arg-type
Modrin.custom("smoot", "smt")  # E: call-arg
q.as_unit([1, 2])  # E: arg-type
q.as_number(scale=1.5)  # E: arg-type
text: str = q.as_number()  # E: assignment
count: float = q * 2  # E: assignment
q.round_sfig(2.5)  # E: arg-type
q.value  # E: attr-defined
db.as_unit("B")  # E: arg-type
ratio: LogModrin = db * db  # E: assignment
db + q.as_unit  # E: operator
db.latex()  # E: attr-defined
