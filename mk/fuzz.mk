# Coverage-guided fuzzing of the native core with libFuzzer (clang, AddressSanitizer,
# UndefinedBehaviorSanitizer). `make fuzz` runs for FUZZ_SECONDS (default 300), `make fuzz-ci`
# for 60 s. The seed corpus in fuzz/corpus/ is copied into fuzz/corpus-run/ (git-ignored),
# where the inputs the fuzzer finds interesting accumulate between runs; crashes land in
# build/fuzz/artifacts/.

FUZZ_SECONDS ?= 300
FUZZ_BUILD := build/fuzz
FUZZ_TARGET := $(FUZZ_BUILD)/fuzz_tree
FUZZ_CORE := $(FUZZ_BUILD)/libvelkaron_core.a
FUZZ_RUN_CORPUS := fuzz/corpus-run
FUZZ_ARTIFACTS := $(FUZZ_BUILD)/artifacts
FUZZ_CORE_SOURCES := $(wildcard src/document/* src/node/* src/search/* src/extract/* src/select/*)
FUZZ_SANITIZE := address,undefined
# UB aborts instead of printing and carrying on, so libFuzzer records the input.
FUZZ_FLAGS := -g -O1 -fno-omit-frame-pointer -fno-sanitize-recover=all
# Coverage instrumentation of the core library. Its counters are plain bytes that the search
# workers bump concurrently, so a ThreadSanitizer build (FUZZ_SANITIZE=thread) must clear this
# (FUZZ_CORE_COVERAGE=) or it reports those writes as races.
FUZZ_CORE_COVERAGE ?= -fsanitize=fuzzer-no-link
FUZZ_OPTIONS := -max_len=65536 -timeout=20 -rss_limit_mb=4096 -dict=fuzz/html.dict \
	-artifact_prefix=$(FUZZ_ARTIFACTS)/ -print_final_stats=1

.PHONY: fuzz fuzz-ci fuzz-build fuzz-tools

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

define run_fuzzer
	mkdir -p $(FUZZ_RUN_CORPUS) $(FUZZ_ARTIFACTS)
	cp -n fuzz/corpus/* $(FUZZ_RUN_CORPUS)/
	LSAN_OPTIONS=suppressions=$(abspath fuzz/lsan.supp):print_suppressions=0 \
	  $(FUZZ_TARGET) $(FUZZ_OPTIONS) -max_total_time=$(1) $(FUZZ_RUN_CORPUS)
endef

fuzz: $(FUZZ_TARGET)
	$(call run_fuzzer,$(FUZZ_SECONDS))

# A fixed seed, so a CI run explores the same inputs each time and a finding reproduces.
FUZZ_CI_SEED ?= 1

fuzz-ci: $(FUZZ_TARGET)
	$(call run_fuzzer,60 -seed=$(FUZZ_CI_SEED))
