# `make bench`: the break-even of the parallel searches (native/bench_parallel.cpp, which the
# threshold in src/search/parallel_config.h comes from); velkaron against the libraries users pick today, on generated pages of about
# 10 KB, 1 MB and 10 MB, plus the native measure of what the parse-time indexes cost over
# gumbo's parse alone. Writes bench/results/latest.json and bench/results/latest.png. Then the
# selector table (bench/css_selectors.py): Tree.select against selectolax, lxml with cssselect and
# soupsieve on a generated page and a python3-doc page; writes bench/results/selectors.json.
# Then the scraping workload over real pages (bench/scrape.py; its pages come from the
# python3-doc and nodejs-doc system packages), with the parse alone on two Python threads and
# on parse_many against one thread; writes bench/results/scrape.json. Last, the command line's
# --jobs on native threads against worker processes over the same pages (bench/cli_jobs.py).
# Then readable text and Markdown against the converters users run (bench/clean.py).
# `make bench-quick` is a fast sanity run (no 10 MB page) that writes under build/ instead.
# Extra arguments for bench/compare.py go in BENCH_ARGS, e.g. BENCH_ARGS="page.html".

BENCH_BUILD_DIR := build/native-bench
BENCH_NATIVE := $(BENCH_BUILD_DIR)/bench_parse
BENCH_PEERS_STAMP := $(VENV)/.bench-peers-installed
# Two real pages from the documentation packages join the generated ones when installed.
BENCH_ARGS ?= $(wildcard /usr/share/doc/python3-doc/html/library/stdtypes.html /usr/share/doc/nodejs/api/all.html)

BENCH_MEMORY := $(BENCH_BUILD_DIR)/bench_memory
BENCH_PARALLEL := $(BENCH_BUILD_DIR)/bench_parallel

.PHONY: bench bench-quick bench-native bench-hostile

bench: $(BUILD_STAMP) $(BENCH_PEERS_STAMP) $(BENCH_NATIVE) bench-hostile
	$(BENCH_PARALLEL)
	$(PYTHON) bench/compare.py --native $(BENCH_NATIVE) $(BENCH_ARGS)
	$(PYTHON) bench/chart.py
	$(PYTHON) bench/css_selectors.py --json bench/results/selectors.json
	$(PYTHON) bench/scrape.py --json bench/results/scrape.json
	$(PYTHON) -P bench/cli_jobs.py --json bench/results/cli_jobs.json
	$(PYTHON) bench/clean.py --json bench/results/clean.json

# The hostile pages of the test table at full size, beside lxml and selectolax, with the
# split of velkaron's memory between gumbo's tree and its own structures; then the hostile
# selectors of the test table beside selectolax (bench/hostile_selectors.py).
bench-hostile: $(BUILD_STAMP) $(BENCH_PEERS_STAMP) $(BENCH_NATIVE)
	$(PYTHON) -P bench/hostile.py --native-memory $(BENCH_MEMORY) --json bench/results/hostile.json
	$(PYTHON) -P bench/hostile_selectors.py --json bench/results/hostile_selectors.json

bench-quick: $(BUILD_STAMP) $(BENCH_PEERS_STAMP) $(BENCH_NATIVE)
	$(PYTHON) bench/compare.py --quick --native $(BENCH_NATIVE) $(BENCH_ARGS)
	$(PYTHON) bench/chart.py build/bench-results/quick.json build/bench-results/quick.png
	$(PYTHON) bench/css_selectors.py --quick --json build/bench-results/selectors-quick.json

bench-native: $(BENCH_NATIVE)

# One package at a time, so a peer that does not install is skipped (compare.py says so)
# instead of stopping the run.
$(BENCH_PEERS_STAMP): bench/requirements.txt $(TOOLS_STAMP)
	@sed -e 's/#.*//' -e '/^[[:space:]]*$$/d' bench/requirements.txt | while read -r requirement; do \
		$(PYTHON) -m pip install -q "$$requirement" \
			|| echo "bench: $$requirement did not install; the benchmark skips it"; \
	done
	touch $@

# Only the benchmark programs are built: other programs under native/ are not needed here.
$(BENCH_NATIVE): $(TOOLS_STAMP) native/bench_parse.cpp $(SOURCES)
	PATH="$(abspath $(VENV)/bin):$$PATH" $(VENV)/bin/cmake -S . -B $(BENCH_BUILD_DIR) -G Ninja \
		-DCMAKE_BUILD_TYPE=Release -DVELKARON_BUILD_MODULE=OFF -DVELKARON_BUILD_NATIVE_TOOLS=ON
	PATH="$(abspath $(VENV)/bin):$$PATH" $(VENV)/bin/cmake --build $(BENCH_BUILD_DIR) --target bench_parse bench_memory bench_parallel
	touch $@
