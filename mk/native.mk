# Native unit tests of the C++ core: every native/*.cpp is built as a program against the static
# core library in build/native (Release), then every test_* program is run. The build is
# incremental; configuring again is cheap and picks up new native sources.

NATIVE_BUILD_DIR := build/native
# cmake and ninja come from the tools installed in .venv.
NATIVE_TOOLS_PATH := $(CURDIR)/$(VENV)/bin:$$PATH
NATIVE_GENERATOR = $(if $(wildcard $(VENV)/bin/ninja),-G Ninja -DCMAKE_MAKE_PROGRAM=$(CURDIR)/$(VENV)/bin/ninja,)

TEST_PREREQUISITES += native-test

.PHONY: native-build native-test

native-build: $(TOOLS_STAMP)
	@# A tree first configured by another generator cannot be switched; start it afresh.
	@if [ -f $(NATIVE_BUILD_DIR)/CMakeCache.txt ] && [ -n "$(NATIVE_GENERATOR)" ] && \
	    ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$$' $(NATIVE_BUILD_DIR)/CMakeCache.txt; then \
	    rm -rf $(NATIVE_BUILD_DIR); fi
	PATH="$(NATIVE_TOOLS_PATH)" cmake -S . -B $(NATIVE_BUILD_DIR) $(NATIVE_GENERATOR) \
	    --log-level=WARNING -DCMAKE_BUILD_TYPE=Release \
	    -DVELKARON_BUILD_MODULE=OFF -DVELKARON_BUILD_NATIVE_TOOLS=ON
	PATH="$(NATIVE_TOOLS_PATH)" cmake --build $(NATIVE_BUILD_DIR)

# Runs the program of every native/test_*.cpp (not whatever older programs the build directory
# may still hold), and fails if any of them fails or none was built.
native-test: native-build
	@status=0; ran=0; \
	for source in native/test_*.cpp; do \
	    [ -e "$$source" ] || continue; \
	    program=$(NATIVE_BUILD_DIR)/$$(basename "$$source" .cpp); \
	    ran=$$((ran + 1)); \
	    echo "== $$program"; \
	    "$$program" || { echo "native-test: $$program failed" >&2; status=1; }; \
	done; \
	if [ "$$ran" -eq 0 ]; then echo "native-test: no native/test_*.cpp programs" >&2; exit 1; fi; \
	exit $$status
