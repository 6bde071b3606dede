# `make mutate`: proof that the quick test subset (QUICK_TESTS, which `make test` runs first)
# kills faults planted in the code. scripts/mutate.py draws a fixed, seeded sample of
# universalmutator's mutants from every room (src/<room>/ and python/velkaron/), builds each in
# a private copy of the sources under build/mutate, runs the quick subset against it and prints
# killed/total with the survivors. Known equivalent mutants are listed, each with its reason, in
# scripts/mutants-equivalent.txt. MUTATE_ARGS passes options, e.g. MUTATE_ARGS="--per-room 10",
# "--rooms select node" or "--only report.txt" (rerun the survivors lines of an earlier report).

MUTATE_ARGS ?=

.PHONY: mutate

mutate: $(BUILD_STAMP)
	PATH="$(abspath $(VENV)/bin):$$PATH" $(PYTHON) scripts/mutate.py $(MUTATE_ARGS) --tests $(QUICK_TESTS)
