# Coverage-guided fuzzing through two doors: the native core with libFuzzer (clang,
# AddressSanitizer, UndefinedBehaviorSanitizer), and the Python binding with atheris.
# `make fuzz` runs both, each for FUZZ_SECONDS and at most FUZZ_RUNS executions (whichever
# comes first; setting only FUZZ_RUNS lifts the time limit); `make fuzz-native` and
# `make fuzz-python` run one. `make fuzz-ci` is CI's short, seeded native run. The seed
# corpus in fuzz/corpus/ is copied into FUZZ_CACHE/<target>/ (git-ignored), where the inputs
# the fuzzer finds interesting accumulate between runs; crashes land in build/fuzz/artifacts/.

FUZZ_RUNS ?=
FUZZ_SECONDS ?= $(if $(FUZZ_RUNS),0,300)
FUZZ_CACHE ?= .cache/fuzz
FUZZ_MAX_LEN := 1048576
FUZZ_BUILD := build/fuzz
FUZZ_TARGET := $(FUZZ_BUILD)/fuzz_tree
FUZZ_CORE := $(FUZZ_BUILD)/libvelkaron_core.a
FUZZ_ARTIFACTS := $(FUZZ_BUILD)/artifacts
FUZZ_CORE_SOURCES := $(wildcard src/document/* src/node/* src/search/* src/extract/* src/select/* src/serialize/*)
FUZZ_SANITIZE := address,undefined
# UB aborts instead of printing and carrying on, so libFuzzer records the input.
FUZZ_FLAGS := -g -O1 -fno-omit-frame-pointer -fno-sanitize-recover=all
# Coverage instrumentation of the core library. Its counters are plain bytes that the search
# workers bump concurrently, so a ThreadSanitizer build (FUZZ_SANITIZE=thread) must clear this
# (FUZZ_CORE_COVERAGE=) or it reports those writes as races.
FUZZ_CORE_COVERAGE ?= -fsanitize=fuzzer-no-link
FUZZ_OPTIONS := -max_len=$(FUZZ_MAX_LEN) -timeout=20 -rss_limit_mb=4096 -dict=fuzz/html.dict \
	-artifact_prefix=$(FUZZ_ARTIFACTS)/ -print_final_stats=1

.PHONY: fuzz fuzz-native fuzz-python fuzz-ci fuzz-build fuzz-tools

# clang and its runtime libraries (libFuzzer, sanitizers) from the distribution.
fuzz-tools:
	@if ! command -v clang++ >/dev/null 2>&1 || \
	    ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then \
	  if [ "$$(id -u)" -eq 0 ]; then sudo=; else sudo=sudo; fi; \
	  $$sudo apt-get update -qq && \
	  $$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang libclang-rt-dev >/dev/null; \
	fi

# The core library is built by the project's CMake with coverage instrumentation for the
# fuzzer; the target itself is linked by clang++ with the fuzzer's main.
$(FUZZ_CORE): $(FUZZ_CORE_SOURCES) CMakeLists.txt | $(TOOLS_STAMP) fuzz-tools
	$(VENV)/bin/cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV))/bin/ninja \
	  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DVELKARON_BUILD_MODULE=OFF -DVELKARON_SANITIZE=$(FUZZ_SANITIZE) \
	  "-DCMAKE_CXX_FLAGS=$(FUZZ_CORE_COVERAGE) $(FUZZ_FLAGS)" >/dev/null
	$(VENV)/bin/cmake --build $(FUZZ_BUILD) --target velkaron_core

# Recompiled when any core header changes: it must see the same class layouts as the library.
$(FUZZ_TARGET): fuzz/fuzz_tree.cpp $(FUZZ_CORE) $(FUZZ_CORE_SOURCES)
	clang++ -std=c++17 $(FUZZ_FLAGS) -fsanitize=fuzzer,$(FUZZ_SANITIZE) -Isrc \
	  $$(pkg-config --cflags gumbo) fuzz/fuzz_tree.cpp $(FUZZ_CORE) \
	  $$(pkg-config --libs gumbo) -pthread -o $@

fuzz-build: $(FUZZ_TARGET)

# $(1): the target program; $(2): its corpus folder; $(3): time and count options.
define run_fuzzer
	mkdir -p $(2) $(FUZZ_ARTIFACTS)
	cp -n fuzz/corpus/* $(2)/
	LSAN_OPTIONS=suppressions=$(abspath fuzz/lsan.supp):print_suppressions=0 \
	  $(1) $(FUZZ_OPTIONS) $(3) $(2)
endef

FUZZ_BUDGET = -max_total_time=$(FUZZ_SECONDS) $(if $(FUZZ_RUNS),-runs=$(FUZZ_RUNS))

fuzz: fuzz-native fuzz-python

fuzz-native: $(FUZZ_TARGET)
	$(call run_fuzzer,$(FUZZ_TARGET),$(FUZZ_CACHE)/native,$(FUZZ_BUDGET))

# atheris comes from PyPI. Leak checking is off: the interpreter keeps memory until exit.
FUZZ_ATHERIS_STAMP := $(VENV)/.atheris-installed
FUZZ_ATHERIS_RUNTIME = $$($(PYTHON) -c 'import atheris; print(atheris.path())')/asan_with_fuzzer.so

$(FUZZ_ATHERIS_STAMP): $(TOOLS_STAMP)
	$(PYTHON) -m pip install -q atheris
	touch $@

fuzz-python: $(FUZZ_PYTHON_MODULE) $(FUZZ_ATHERIS_STAMP)
	$(call run_fuzzer,LD_PRELOAD="$(FUZZ_ATHERIS_RUNTIME) $$(clang++ -print-file-name=libstdc++.so)" \
	  ASAN_OPTIONS=detect_leaks=0 PYTHONPATH=$(abspath $(FUZZ_PYTHON_BUILD)):$(abspath python) \
	  $(PYTHON) fuzz/fuzz_binding.py,$(FUZZ_CACHE)/python,$(FUZZ_BUDGET))

# A fixed seed, so a CI run explores the same inputs each time and a finding reproduces.
FUZZ_CI_SEED ?= 1

fuzz-ci: $(FUZZ_TARGET)
	$(call run_fuzzer,$(FUZZ_TARGET),$(FUZZ_CACHE)/native,-max_total_time=60 -seed=$(FUZZ_CI_SEED))

# The binding's target fuzzes a module of its own: built by clang with coverage counters for
# the fuzzer and with AddressSanitizer and UndefinedBehaviorSanitizer, loaded after atheris's
# sanitizer-and-fuzzer runtime. That runtime lacks the C++ part of UndefinedBehaviorSanitizer,
# so its checks are listed without the two that need it (vptr, function).
FUZZ_PYTHON_SANITIZE := address,alignment,bool,builtin,bounds,enum,float-cast-overflow,$\
integer-divide-by-zero,nonnull-attribute,null,object-size,pointer-overflow,return,$\
returns-nonnull-attribute,shift,signed-integer-overflow,unreachable,vla-bound
FUZZ_PYTHON_BUILD := build/fuzz-python
FUZZ_PYTHON_MODULE := $(FUZZ_PYTHON_BUILD)/.module-built

$(FUZZ_PYTHON_MODULE): $(FUZZ_CORE_SOURCES) src/module/* CMakeLists.txt | $(TOOLS_STAMP) fuzz-tools
	$(VENV)/bin/cmake -S . -B $(FUZZ_PYTHON_BUILD) -G Ninja \
	  -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV))/bin/ninja -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELKARON_BUILD_MODULE=ON -DVELKARON_SANITIZE=$(FUZZ_PYTHON_SANITIZE) \
	  "-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link $(FUZZ_FLAGS)" \
	  -DPython_EXECUTABLE=$(abspath $(PYTHON)) -Dpybind11_DIR="$$($(PYTHON) -m pybind11 --cmakedir)" >/dev/null
	$(VENV)/bin/cmake --build $(FUZZ_PYTHON_BUILD) --target _velkaron
	touch $@
