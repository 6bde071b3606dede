# Sanitizer runs, separate from `make test`:
#   make test-asan   the module built with AddressSanitizer and UndefinedBehaviorSanitizer in
#                    build/asan, and the whole Python suite run against it;
#   make test-tsan   the native parallel-search tests and stress driver built with
#                    ThreadSanitizer in build/tsan, and run. (ThreadSanitizer inside CPython
#                    is impractical, so the native driver exercises the same code.)

ASAN_BUILD_DIR := build/asan
TSAN_BUILD_DIR := build/tsan
SANITIZE_TOOLS_PATH := $(CURDIR)/$(VENV)/bin:$$PATH
SANITIZE_GENERATOR = $(if $(wildcard $(VENV)/bin/ninja),-G Ninja -DCMAKE_MAKE_PROGRAM=$(CURDIR)/$(VENV)/bin/ninja,)
# The compiler that cmake chose for a build directory.
sanitize_compiler = $$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' $(1)/CMakeCache.txt)
# Rounds and threads of the stress driver; what pytest runs under ASan. The tests marked slow
# build and install a wheel of their own, without sanitizers, so they are left out.
TSAN_STRESS_ARGS ?= 12 4
ASAN_PYTEST_ARGS ?= -m "not slow" tests

.PHONY: test-asan test-tsan

test-asan: $(TOOLS_STAMP)
	PATH="$(SANITIZE_TOOLS_PATH)" cmake -S . -B $(ASAN_BUILD_DIR) $(SANITIZE_GENERATOR) \
	    --log-level=WARNING -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DVELKARON_SANITIZE=address,undefined -DVELKARON_BUILD_MODULE=ON \
	    -DVELKARON_BUILD_NATIVE_TOOLS=OFF \
	    -DPython_EXECUTABLE=$(CURDIR)/$(PYTHON) \
	    -Dpybind11_DIR="$$($(PYTHON) -m pybind11 --cmakedir)"
	PATH="$(SANITIZE_TOOLS_PATH)" cmake --build $(ASAN_BUILD_DIR) --target _velkaron
	@# Laid out like an installation: the type stubs beside the module.
	ln -sfn $(CURDIR)/python/_velkaron-stubs $(ASAN_BUILD_DIR)/_velkaron-stubs
	@# The interpreter is built without ASan, so its runtime must be loaded first, with the C++
	@# runtime beside it: ASan resolves the real exception-throwing entry point at start-up, and
	@# the interpreter itself does not load libstdc++. Leak checking is off: CPython keeps memory
	@# until exit by design. Sanitizer reports are written to file descriptor 2, so pytest
	@# captures at the sys level only, or a report that ends the process would be lost.
	@compiler=$(call sanitize_compiler,$(ASAN_BUILD_DIR)); \
	asan_runtime=$$($$compiler -print-file-name=libasan.so); \
	cxx_runtime=$$($$compiler -print-file-name=libstdc++.so); \
	for runtime in "$$asan_runtime" "$$cxx_runtime"; do \
	    if [ ! -f "$$runtime" ]; then echo "test-asan: $$runtime not found for $$compiler" >&2; exit 1; fi; \
	done; \
	echo "test-asan: preloading $$asan_runtime $$cxx_runtime"; \
	LD_PRELOAD="$$asan_runtime $$cxx_runtime" \
	ASAN_OPTIONS=detect_leaks=0 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	VELKARON_SANITIZED=address,undefined \
	PYTHONPATH="$(CURDIR)/$(ASAN_BUILD_DIR):$(CURDIR)/python" \
	$(PYTHON) -c 'import os, sys; \
	import _velkaron, velkaron, pytest; \
	where = os.path.realpath(_velkaron.__file__); \
	expected = os.path.realpath("$(ASAN_BUILD_DIR)"); \
	print("test-asan: testing", where, flush=True); \
	os.path.dirname(where) == expected or sys.exit("test-asan: imported " + where + ", not the sanitized module"); \
	sys.exit(pytest.main(["-q", "-p", "no:cacheprovider", "--capture=sys", *sys.argv[1:]]))' \
	    $(ASAN_PYTEST_ARGS)

test-tsan: $(TOOLS_STAMP)
	PATH="$(SANITIZE_TOOLS_PATH)" cmake -S . -B $(TSAN_BUILD_DIR) $(SANITIZE_GENERATOR) \
	    --log-level=WARNING -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DVELKARON_SANITIZE=thread -DVELKARON_BUILD_MODULE=OFF -DVELKARON_BUILD_NATIVE_TOOLS=ON
	PATH="$(SANITIZE_TOOLS_PATH)" cmake --build $(TSAN_BUILD_DIR) --target test_parallel stress_parallel
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" $(TSAN_BUILD_DIR)/test_parallel
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" $(TSAN_BUILD_DIR)/stress_parallel $(TSAN_STRESS_ARGS)
