# SPDX-License-Identifier: MIT
# Everyday commands. The build itself is CMake's; this file only installs the
# Debian packages a command needs when they are missing, configures and runs.

BUILD ?= build
comma := ,
BUILD_TYPE ?= Release
CMAKE ?= cmake
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

# CMake's build runs make inside this make; without this, every step of it
# is framed by "Entering directory" lines.
MAKEFLAGS += --no-print-directory

# Installs the Debian packages a target needs when they are missing; the
# lists, one per target, are in scripts/need.sh.
NEED := @bash scripts/need.sh

# Configures the build folder $(1) with the CMake options $(2), and builds it.
# The project's own builds treat every warning as an error.
define configure_build
	$(CMAKE) -S . -B $(1) -DTOOLS_WERROR=ON $(2) >/dev/null
	$(CMAKE) --build $(1) -j $(JOBS)
endef

.PHONY: all compile demo check clean lint

all: compile

# Debian's own hardening flags, as it builds its packages: _FORTIFY_SOURCE,
# the stack protector, format checks, -z relro -z now (its compiler builds
# position-independent programs by default).
DEB_FLAGS := DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get

# Configures and builds the programs, the stand-in driver and the tests
# with Debian's hardening flags, linked as most firmware toolchains link:
# every library given is kept (no --as-needed), so the suite sees what the
# programs really need.
compile:
	$(NEED) check
	$(call configure_build,$(BUILD),-DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
	  -DCMAKE_C_FLAGS="$$($(DEB_FLAGS) CPPFLAGS) $$($(DEB_FLAGS) CFLAGS)" \
	  -DCMAKE_CXX_FLAGS="$$($(DEB_FLAGS) CPPFLAGS) $$($(DEB_FLAGS) CXXFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$($(DEB_FLAGS) LDFLAGS) -Wl$(comma)--no-as-needed" \
	  -DCMAKE_SHARED_LINKER_FLAGS="$$($(DEB_FLAGS) LDFLAGS) -Wl$(comma)--no-as-needed")

check: compile
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

demo: compile
	@bash tests/support/demo.sh $(BUILD)

clean:
	rm -rf $(BUILD)

# The habits the code follows, each checked by its tool (scripts/lint.sh):
# formatting, shellcheck, clang-tidy, cppcheck, the manual pages and the
# kernel's checkpatch on the module. Any finding fails.
lint:
	$(NEED) lint
	@bash scripts/lint.sh

.PHONY: vm-check
# Which guests vm-check boots: x86_64, mips, or both (the default).
VM_GUEST ?= x86_64 mips
# On which Linux series each guest boots: 6.1, 6.12, or both (the default).
VM_KERNEL ?= 6.1 6.12
# Boots real kernels under emulation with the reference flag driver loaded
# and runs the real dorvane against it: an x86-64 guest and one of the
# board's processor, each on Linux 6.1 and 6.12 (tests/kernel/vm-check.sh);
# passes when every guest passes on every kernel.
vm-check:
	$(NEED) vm-check
	@VM_GUEST="$(VM_GUEST)" VM_KERNEL="$(VM_KERNEL)" bash tests/kernel/vm-check.sh

.PHONY: cross-check
CROSS_BUILD ?= build-mips
# Another board's path, on the same root: clang through the toolchain file
# with CMAKE_SYSROOT and no specs file (board/other-board.sh).
OTHER_BOARD_BUILD ?= build-mips-clang
# The board with musl as its C library in place of uClibc-ng.
MUSL_BUILD ?= build-mips-musl
# The programs as a firmware's package build makes them by default
# (Buildroot's toolchain file, cmake command line and compiler wrapper's
# hardening, -O2, no --as-needed), on each root, and at -Os (a flash-tight
# firmware's choice) in the folders ending in -os.
FIRMWARE_BUILD ?= build-mips-firmware
MUSL_FIRMWARE_BUILD ?= build-mips-musl-firmware
# firmware BOARD-BUILD FIRMWARE-BUILD: both firmware builds on one root,
# each judged as it is made.
firmware = bash board/firmware-build.sh $(1) $(2) && \
  bash tests/platform/firmware_board.sh $(1) $(2) -O2 && \
  bash board/firmware-build.sh --optimize=s $(1) $(2)-os && \
  bash tests/platform/firmware_board.sh $(1) $(2)-os -Os
# Builds the board's root (uClibc-ng, a soft-float libgcc, cJSON, the C++
# library the tests link), both programs and every test for the board
# (MIPS32 release 1, soft float), and runs the whole suite under qemu as a
# 4Kc, a core without an FPU; then the programs as a firmware's package
# build makes them, judged on their flags, hardening, libraries, install
# and the command-line tables. Then the same on a root with musl: the
# command-line tests and the instruction check (its root has no C++
# library for the unit tests), and the firmware's builds.
cross-check:
	$(NEED) cross-check
	@bash board/with-root.sh $(CROSS_BUILD) bash -c '\
	  ctest --test-dir $(CROSS_BUILD) --output-on-failure -j $(JOBS) && \
	  bash board/other-board.sh $(CROSS_BUILD) $(OTHER_BOARD_BUILD) && \
	  ctest --test-dir $(OTHER_BOARD_BUILD) --output-on-failure -j $(JOBS) && \
	  $(call firmware,$(CROSS_BUILD),$(FIRMWARE_BUILD))'
	@bash board/with-root.sh --libc=musl $(MUSL_BUILD) bash -c '\
	  ctest --test-dir $(MUSL_BUILD) --output-on-failure -j $(JOBS) && \
	  $(call firmware,$(MUSL_BUILD),$(MUSL_FIRMWARE_BUILD))'

.PHONY: bench
# The programs against their peers, as one table: whole-run instructions on
# the host and, counted under qemu, on the board build; codec timings; sizes
# for the host and the board. Builds in build-bench/, build-mips/ and
# build-bench-mips/. Not part of check: timings belong to the machine.
bench:
	$(NEED) bench
	@bash bench/run.sh

.PHONY: sanitize-check memcheck fuzz-smoke
SANITIZE_BUILD ?= build-asan
MEMCHECK_BUILD ?= build-memcheck
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 20
# A definite leak or any memory error changes the exit status to 99, which
# no test expects.
VALGRIND := valgrind -q --error-exitcode=99 --leak-check=full \
  --errors-for-leak-kinds=definite --show-leak-kinds=definite

# The whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer;
# any finding aborts the program, and so fails its test.
sanitize-check:
	$(NEED) sanitize-check
	$(call configure_build,$(SANITIZE_BUILD),-DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DTOOLS_SANITIZE=ON)
	cd $(SANITIZE_BUILD) && ctest --output-on-failure -j $(JOBS)

# The suite with every program the command-line tests start run under
# valgrind (TOOLS_CHECKER, tests/support/cli.sh), then the unit tests.
memcheck:
	$(NEED) memcheck
	$(call configure_build,$(MEMCHECK_BUILD),-DCMAKE_BUILD_TYPE=RelWithDebInfo)
	cd $(MEMCHECK_BUILD) && TOOLS_CHECKER="$(VALGRIND)" \
	  ctest --output-on-failure -j $(JOBS)
	@for test in $(MEMCHECK_BUILD)/tests/*/*_test; do \
	  echo "valgrind $$test"; \
	  $(VALGRIND) $$test --gtest_brief=1 >/dev/null || exit 1; \
	done

# Every fuzz target replays its seeds, then runs FUZZ_SECONDS on new inputs.
fuzz-smoke:
	$(NEED) fuzz-smoke
	$(call configure_build,$(FUZZ_BUILD),-DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
	  -DTOOLS_FUZZ=ON -DTOOLS_BUILD_TESTS=OFF)
	cd $(FUZZ_BUILD) && ctest --output-on-failure -j $(JOBS)
	bash fuzz/smoke.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)
