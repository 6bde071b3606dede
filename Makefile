# The front door: `make demo` and `make test` set up everything they need on a fresh machine
# (system packages, .venv with Python 3.13, the build), then run. A second run with nothing
# changed does not reinstall.

VENV := .venv
PYTHON := $(VENV)/bin/python
TOOLS_STAMP := $(VENV)/.tools-installed
BUILD_STAMP := $(VENV)/.velkaron-installed
SOURCES := $(shell find src python -type f -not -name '*.pyc' 2>/dev/null) CMakeLists.txt pyproject.toml

# Extra checks that `make test` runs before the Python suite; mk/*.mk files add to it.
TEST_PREREQUISITES :=

# The quick subset of the suite: the table-driven API cases, the cross-check of every search
# strategy against a reference walk, lifetime, selectors, encodings, the html5lib comparisons,
# HTML output, the command line and the markup limits. `make test` (and so CI) runs it first;
# `make mutate` runs it against every mutant.
QUICK_TESTS := tests/test_cases.py tests/test_crosscheck.py tests/test_api.py tests/test_select.py \
	tests/test_encoding.py tests/test_text_buffer.py tests/test_html5lib.py tests/test_cli.py \
	tests/test_node_html.py tests/test_misuse_and_limits.py

.PHONY: demo test test-quick install clean
.DEFAULT_GOAL := demo

-include mk/*.mk

demo: $(BUILD_STAMP)
	$(VENV)/bin/velkaron stats
	$(VENV)/bin/velkaron links

test: $(BUILD_STAMP) $(TEST_PREREQUISITES)
	$(PYTHON) -m pytest -q $(QUICK_TESTS)
	$(PYTHON) -m pytest tests $(QUICK_TESTS:%=--ignore=%)

test-quick: $(BUILD_STAMP)
	$(PYTHON) -m pytest -q $(QUICK_TESTS)

install: $(BUILD_STAMP)

$(TOOLS_STAMP): scripts/bootstrap.sh requirements-dev.txt
	scripts/bootstrap.sh
	touch $@

# flock: several shells (or a shell and CI) building at once would share one build tree.
$(BUILD_STAMP): $(TOOLS_STAMP) $(SOURCES)
	flock build.lock $(PYTHON) -m pip install -q --no-build-isolation --no-deps .
	touch $@

clean:
	rm -rf build dist build.lock $(BUILD_STAMP)
