"""A tour of modrin: what the module offers."""

import modrin

print("modrin:", modrin.__doc__)
print("classes:", modrin.__all__)
for name in modrin.__all__:
    cls = getattr(modrin, name)
    methods = sorted(m for m in vars(cls) if not m.startswith("_"))
    print(f"  {name}: {cls.__doc__ or '(no docstring)'}; methods: {', '.join(methods) or 'none yet'}")
