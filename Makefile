# Two commands for a newcomer:
#   make run    installs what is missing, builds, and starts the launcher
#   make test   installs what is missing, builds, and runs every test
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: run test build deps docs test-sanitize fuzz package-check

deps:
	@scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)
	cmake --build $(BUILD_DIR) -j$(JOBS)

run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  echo "There is no display here (neither DISPLAY nor WAYLAND_DISPLAY is set), so no window can open."; \
	  echo "Without a display, drive the programs in script mode instead, for example:"; \
	  echo "  MARULA_HEADLESS=1 MARULA_SCRIPT=file $(BUILD_DIR)/bin/marula"; \
	  echo "The screen dumps and events.log go to MARULA_OUT (default: the current folder); see README.md."; \
	  exit 1; \
	fi
	$(BUILD_DIR)/bin/marula

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure

# The end-to-end and unit tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, then a short budget of fuzzed sessions.
SANITIZE_DIR ?= build-sanitize
FUZZ_SECONDS ?= 60
test-sanitize: deps
	cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARULA_SANITIZE=ON
	cmake --build $(SANITIZE_DIR) -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=0 ctest --test-dir $(SANITIZE_DIR) --output-on-failure
	$(MAKE) fuzz BIN=$(SANITIZE_DIR)/bin

BIN ?= $(BUILD_DIR)/bin
fuzz:
	python3 tests/fuzz/fuzz_sessions.py --bin $(BIN) --seconds $(FUZZ_SECONDS) --jobs 2 --failed fuzz-failed

# Builds the .deb, installs it with apt and checks the installed suite.
package-check: build
	scripts/package-check.sh $(BUILD_DIR)

# Runs the guide's worked examples and refreshes the screen pictures in docs/images.
docs: build
	docs/make-screens.sh $(BUILD_DIR)/bin
