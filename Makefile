# Entry points named by the README. `make run` and `make test` do all the
# set-up a fresh Debian 12 machine needs (they install the build dependencies
# with apt-get when something is missing).

BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: deps build test run demo-image clean

deps:
	./scripts/install-deps

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The main job: the built-in simulated player, created once.
run: build
	./scripts/run-demo $(BUILD)

clean:
	rm -rf $(BUILD)
