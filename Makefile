# Everyday commands. The build itself is CMake's; this file only installs the
# Debian packages a command needs when they are missing, configures and runs.

BUILD ?= build
BUILD_TYPE ?= Release
CMAKE ?= cmake
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

# CMake's build runs make inside this make; without this, every step of it
# is framed by "Entering directory" lines.
MAKEFLAGS += --no-print-directory

# Debian packages each command needs.
BUILD_PACKAGES := cmake make g++ pkg-config libcjson-dev
CHECK_PACKAGES := $(BUILD_PACKAGES) googletest libgtest-dev mandoc binutils

# Installs the named packages that are not installed yet.
define need
	@missing=""; for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  if [ "$$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi; \
	  $$SUDO apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq --no-install-recommends $$missing >/dev/null; \
	fi
endef

# Configures the build folder $(1) with the CMake options $(2), and builds it.
define configure_build
	$(CMAKE) -S . -B $(1) $(2) >/dev/null
	$(CMAKE) --build $(1) -j $(JOBS)
endef

.PHONY: all compile demo check clean

all: compile

# Configures and builds the programs, the stand-in driver and the tests.
compile:
	$(call need,$(CHECK_PACKAGES))
	$(call configure_build,$(BUILD),-DCMAKE_BUILD_TYPE=$(BUILD_TYPE))

check: compile
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

demo: compile
	@bash tests/support/demo.sh $(BUILD)

clean:
	rm -rf $(BUILD)

.PHONY: vm-check
# Which guests vm-check boots: x86_64, mips, or both (the default).
VM_GUEST ?= x86_64 mips
# Boots real kernels under emulation with the reference flag driver loaded
# and runs the real dorvane against it: an x86-64 guest and one of the
# board's processor (board/vm-check.sh); passes when every guest passes.
vm-check:
	@VM_GUEST="$(VM_GUEST)" bash board/vm-check.sh

.PHONY: cross-check
CROSS_BUILD ?= build-mips
# board/build.sh fetches Debian source packages (dpkg-dev) and builds
# uClibc-ng (which wants the kernel's MIPS headers, bc and a host compiler).
CROSS_PACKAGES := cmake make bash g++ g++-mips-linux-gnu qemu-user googletest \
  mandoc dpkg-dev uclibc-source linux-libc-dev-mips-cross bc xz-utils
# Builds the board's root (uClibc-ng, a soft-float libgcc, cJSON, the C++
# library the tests link), both programs and every test for the board
# (MIPS32 release 1, soft float), and runs the whole suite under qemu as a
# 4Kc, a core without an FPU.
cross-check:
	$(call need,$(CROSS_PACKAGES))
	@bash board/cross-check.sh $(CROSS_BUILD)

.PHONY: bench
# bench/run.sh builds the board's root and programs (board/build.sh: Debian
# source packages, uClibc-ng, the kernel's MIPS headers) and runs them under
# qemu.
BENCH_PACKAGES := $(BUILD_PACKAGES) libbenchmark-dev libssl-dev valgrind \
  coreutils binutils g++-mips-linux-gnu qemu-user uclibc-source \
  linux-libc-dev-mips-cross dpkg-dev bc xz-utils
# The programs against their peers, as one table: whole-run instructions on
# the host and, counted under qemu, on the board build; codec timings; sizes
# for the host and the board. Builds in build-bench/, build-mips/ and
# build-bench-mips/. Not part of check: timings belong to the machine.
bench:
	$(call need,$(BENCH_PACKAGES))
	@bash bench/run.sh

.PHONY: sanitize-check memcheck fuzz-smoke
SANITIZE_BUILD ?= build-asan
MEMCHECK_BUILD ?= build-memcheck
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 20
# gcc's sanitizers come with g++; libFuzzer needs clang and its runtimes.
FUZZ_PACKAGES := $(BUILD_PACKAGES) clang-14 libclang-rt-14-dev
MEMCHECK_PACKAGES := $(CHECK_PACKAGES) valgrind
# A definite leak or any memory error changes the exit status to 99, which
# no test expects.
VALGRIND := valgrind -q --error-exitcode=99 --leak-check=full \
  --errors-for-leak-kinds=definite --show-leak-kinds=definite

# The whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer;
# any finding aborts the program, and so fails its test.
sanitize-check:
	$(call need,$(CHECK_PACKAGES))
	$(call configure_build,$(SANITIZE_BUILD),-DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DTOOLS_SANITIZE=ON)
	cd $(SANITIZE_BUILD) && ctest --output-on-failure -j $(JOBS)

# The suite with every program the command-line tests start run under
# valgrind (TOOLS_CHECKER, tests/support/cli.sh), then the unit tests.
memcheck:
	$(call need,$(MEMCHECK_PACKAGES))
	$(call configure_build,$(MEMCHECK_BUILD),-DCMAKE_BUILD_TYPE=RelWithDebInfo)
	cd $(MEMCHECK_BUILD) && TOOLS_CHECKER="$(VALGRIND)" \
	  ctest --output-on-failure -j $(JOBS)
	@for test in $(MEMCHECK_BUILD)/tests/*/*_test; do \
	  echo "valgrind $$test"; \
	  $(VALGRIND) $$test --gtest_brief=1 >/dev/null || exit 1; \
	done

# Every fuzz target replays its seeds, then runs FUZZ_SECONDS on new inputs.
fuzz-smoke:
	$(call need,$(FUZZ_PACKAGES))
	$(call configure_build,$(FUZZ_BUILD),-DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
	  -DTOOLS_FUZZ=ON -DTOOLS_BUILD_TESTS=OFF)
	cd $(FUZZ_BUILD) && ctest --output-on-failure -j $(JOBS)
	bash fuzz/smoke.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)
