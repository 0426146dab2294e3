# Two commands do everything: `make run` and `make test`.
.PHONY: all run test sanitize bench deps format clean install

RUN_DIR := run
PREFIX ?= /usr/local

all: test

deps:
	@scripts/install-deps

# A build tree configured by an earlier version with another generator is made afresh.
configure = if grep -qs '^CMAKE_GENERATOR:INTERNAL=Unix Makefiles' build/$(1)/CMakeCache.txt; \
	then rm -rf build/$(1); fi; cmake --preset $(1) >/dev/null

build/release/zorvi: deps FORCE
	$(call configure,release)
	cmake --build --preset release

run: build/release/zorvi
	mkdir -p $(RUN_DIR)
	cp data/Hurricanes-CAT-1-5-DATA-US-landfall-1980-2018.dat $(RUN_DIR)/
	cd $(RUN_DIR) && ../build/release/zorvi
	cd $(RUN_DIR) && ../build/release/zorvi-report
	@echo "Results: $(abspath $(RUN_DIR))/Zorviresult.dat"
	@echo "Figure:  $(abspath $(RUN_DIR))/Zorvireport.svg"

# Installs the programs and their manual pages under PREFIX (bin/, share/man/man1/).
install: build/release/zorvi
	cmake --install build/release --prefix "$(PREFIX)"

test: deps
	$(call configure,debug)
	cmake --build --preset debug
	ctest --preset debug

sanitize: deps
	$(call configure,sanitize)
	cmake --build --preset sanitize
	ctest --preset sanitize

bench: deps
	$(call configure,bench)
	cmake --build --preset bench
	bench/run.sh

format:
	clang-format -i $$(git ls-files '*.cpp' '*.hpp')

clean:
	rm -rf build $(RUN_DIR)

FORCE:
