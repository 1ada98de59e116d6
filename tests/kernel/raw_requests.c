// SPDX-License-Identifier: MIT
/*
 * raw-requests: exercises the flag driver's requests directly, in the guest
 * booted by vm-check, for what dorvane cannot show: exact bytes, unknown
 * requests, bad pointers, a set without write access, the node's mode, how
 * request 2 reaches the driver, and fetches racing sets many times over.
 *
 *   raw-requests plain     a kernel whose own requests leave 1 and 2 alone
 *                          (the board's MIPS): request 2 is the driver's
 *   raw-requests alias     x86-64, where the kernel answers request 2 itself:
 *                          the table comes back through the alias, and the
 *                          plain 2 gets the kernel's answer
 *   raw-requests steered   x86-64, run under flagctl-steer: the plain 2 on
 *                          the node reaches the driver, the caller's request
 *                          register comes back as it was, and request 2 on
 *                          any other file still gets the kernel's answer
 *
 * Prints one "vm-check: FAIL ..." line per failed check, then
 * "raw-requests MODE: P passed, F failed"; exits with 0 only when F is 0.
 * Built statically for the guest's processor; on x86-64 also as a 32-bit
 * i386 program, whose requests reach the driver through the kernel's compat
 * path, and which names itself raw-requests-i386 in those lines.
 */
/* sched_setaffinity and its processor sets are the C library's extensions. */
#define _GNU_SOURCE /* NOLINT(bugprone-reserved-identifier): the feature macro */
#include <errno.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sched.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "flagctl.h"

#define NODE "/dev/" FLAGCTL_NAME
#define JUNK 0x5a    /* fills buffers the driver is expected to write */
#define GUARD 16     /* bytes after a table that must stay untouched */
#define RACE_MS 2000 /* how long fetches race another process's sets */

/* The checker's name in what it prints: the 32-bit build names itself. */
#if defined(__i386__)
#define CHECKER "raw-requests-i386"
#else
#define CHECKER "raw-requests"
#endif

/* Whether the kernel answers request 2 itself, so that the alias exists. */
#define HAS_ALIAS (FIGETBSZ == FLAGCTL_REQ_GET)

static const char *mode;
static unsigned long get_request; /* the number that fetches the table here */
static int passed, failed;

/* check: records one check, printing why it failed when it did. */
static void check(int ok, const char *name, const char *why)
{
	if (ok) {
		passed++;
	} else {
		failed++;
		printf("vm-check: FAIL " CHECKER " %s %s: %s\n", mode, name, why);
	}
}

/*
 * request: one ioctl on `fd`. Returns 0, or the errno of the failure (and
 * -1 for a failure that set no errno, which the kernel never does).
 */
static int request(int fd, unsigned long number, void *arg)
{
	errno = 0;
	if (ioctl(fd, number, arg) == 0)
		return 0;
	return errno ? errno : -1;
}

/* fill_pattern: a table no request could produce by accident. */
static void fill_pattern(uint8_t *table, uint8_t seed)
{
	for (int i = 0; i < FLAGCTL_TABLE_SIZE; i++)
		table[i] = (uint8_t)(seed + 37 * i);
}

/*
 * read_back: the table fetched into a junk-filled buffer with a guard after
 * it. Returns 1 when exactly the 172 bytes of `want` were written.
 */
static int read_back(int fd, const uint8_t *want)
{
	uint8_t buf[FLAGCTL_TABLE_SIZE + GUARD];

	memset(buf, JUNK, sizeof(buf));
	if (request(fd, get_request, buf) != 0)
		return 0;
	for (int i = FLAGCTL_TABLE_SIZE; i < (int)sizeof(buf); i++)
		if (buf[i] != JUNK)
			return 0;
	return memcmp(buf, want, FLAGCTL_TABLE_SIZE) == 0;
}

/*
 * map_edge: two pages with the second one gone, so the bytes just below
 * the returned edge are the last accessible ones. NULL on failure.
 */
static uint8_t *map_edge(void)
{
	long page = sysconf(_SC_PAGESIZE);
	uint8_t *p =
		mmap(NULL, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);

	if (p == MAP_FAILED)
		return NULL;
	munmap(p + page, page);
	return p + page;
}

/*
 * answered: what every mode shares, with the table fetched by get_request:
 * exact bytes, unknown requests, bad pointers, a set without write access
 * and the node's mode. Leaves `table` set.
 */
static void answered(int fd, uint8_t *table)
{
	uint8_t other[FLAGCTL_TABLE_SIZE];

	/* Every byte is kept: counts and unterminated names are not judged. */
	fill_pattern(table, 3);
	check(request(fd, FLAGCTL_REQ_SET, table) == 0, "set", "request 1 failed");
	check(read_back(fd, table), "get",
	      "the table did not come back as exactly the 172 bytes set");

	/*
	 * Requests the driver does not know, each refused with no effect;
	 * where the kernel leaves request 2 alone the alias is one of them.
	 */
	static const unsigned long unknown[] = {
		0, 3, 0x4602, FLAGCTL_REQ_GET | 0x100, 0xffffffffUL, FLAGCTL_REQ_GET_ALIAS,
	};
	size_t n_unknown = sizeof(unknown) / sizeof(unknown[0]) - HAS_ALIAS;
	fill_pattern(other, 99);
	for (size_t i = 0; i < n_unknown; i++) {
		char name[32];

		snprintf(name, sizeof(name), "unknown-%#lx", unknown[i]);
		check(request(fd, unknown[i], other) == ENOTTY, name, "not refused with ENOTTY");
	}
	check(read_back(fd, table), "unknown-no-effect", "an unknown request changed the table");

	/* Only a file opened for writing sets the table. */
	int read_only = open(NODE, O_RDONLY);
	check(read_only >= 0 && request(read_only, FLAGCTL_REQ_SET, other) == EBADF,
	      "set-read-only", "a set on a file opened read-only was not refused with EBADF");
	check(read_back(fd, table), "set-read-only", "a refused set changed the table");
	/* The file's mode is judged before the pointer is used. */
	check(read_only >= 0 && request(read_only, FLAGCTL_REQ_SET, NULL) == EBADF,
	      "set-read-only-null", "a set on a file opened read-only was not refused with EBADF");
	if (read_only >= 0)
		close(read_only);

	struct stat node;
	check(stat(NODE, &node) == 0 && S_ISCHR(node.st_mode) && (node.st_mode & 07777) == 0600,
	      "node-mode", "the node is not a character device of mode 0600");

	/* Pointers the driver cannot use in full: EFAULT, table unchanged. */
	uint8_t *edge = map_edge();
	check(edge != NULL, "map", "cannot map the test pages");
	if (edge == NULL)
		return;
	uint8_t *straddling = edge - FLAGCTL_TABLE_SIZE / 2;
	memset(straddling, 7, FLAGCTL_TABLE_SIZE / 2);
	const struct {
		const char *name;
		unsigned long number;
		int straddle; /* 0: NULL pointer, 1: table runs off the mapping */
	} faults[] = {
		{ "set-null", FLAGCTL_REQ_SET, 0 },
		{ "set-straddling", FLAGCTL_REQ_SET, 1 },
		{ "get-null", get_request, 0 },
		{ "get-straddling", get_request, 1 },
	};
	for (size_t i = 0; i < sizeof(faults) / sizeof(faults[0]); i++) {
		void *arg = faults[i].straddle ? straddling : NULL;

		check(request(fd, faults[i].number, arg) == EFAULT, faults[i].name,
		      "not refused with EFAULT");
		check(read_back(fd, table), faults[i].name, "a refused request changed the table");
	}
	mprotect(edge - sysconf(_SC_PAGESIZE), sysconf(_SC_PAGESIZE), PROT_READ);
	check(request(fd, get_request, edge - FLAGCTL_TABLE_SIZE) == EFAULT, "get-read-only",
	      "not refused with EFAULT");
}

#if !HAS_ALIAS
/* plain: request 2 is the driver's own, on its node and nowhere else. */
static void plain(int fd)
{
	uint8_t table[FLAGCTL_TABLE_SIZE];

	answered(fd, table);
	int null_fd = open("/dev/null", O_RDWR);
	int32_t size = 0;
	check(null_fd >= 0 && request(null_fd, FLAGCTL_REQ_GET, &size) == ENOTTY, "other-file",
	      "request 2 on /dev/null was not refused with ENOTTY");
	if (null_fd >= 0)
		close(null_fd);
}
#endif

#if HAS_ALIAS
/* The kernel's answer to request 2: the block size of the file's filesystem. */
static int32_t block_size(int fd)
{
	struct statfs fs;

	return fstatfs(fd, &fs) == 0 ? (int32_t)fs.f_bsize : -1;
}

/*
 * kernel_answers: whether request 2 on `fd` gets the kernel's answer: the
 * block size in the first four bytes of the buffer and nothing after them.
 */
static int kernel_answers(int fd)
{
	uint8_t buf[FLAGCTL_TABLE_SIZE];
	int32_t size = block_size(fd), count;

	memset(buf, JUNK, sizeof(buf));
	if (size <= 0 || request(fd, FLAGCTL_REQ_GET, buf) != 0)
		return 0;
	memcpy(&count, buf, sizeof(count));
	for (int i = sizeof(count); i < FLAGCTL_TABLE_SIZE; i++)
		if (buf[i] != JUNK)
			return 0;
	return count == size;
}

/* alias: the table through the alias; the plain 2 never reaches the driver. */
static void alias(int fd)
{
	uint8_t table[FLAGCTL_TABLE_SIZE];

	answered(fd, table);
	check(kernel_answers(fd), "plain-get",
	      "request 2 on the node did not get the filesystem's block size alone");
}
#endif

#if HAS_ALIAS && defined(__x86_64__)
/*
 * raw_ioctl: request 2 as a bare system call with the request word in
 * *`word`, which receives the register's value after the call. Returns the
 * call's result. flagctl-steer rewrites this register on the way in, so it
 * shows whether the rewrite was undone before the caller resumed.
 */
static long raw_ioctl(int fd, unsigned long *word, void *arg)
{
	long ret;
	unsigned long reg = *word;

	__asm__ volatile("syscall"
			 : "=a"(ret), "+S"(reg)
			 : "0"((long)SYS_ioctl), "D"((long)fd), "d"(arg)
			 : "rcx", "r11", "memory");
	*word = reg;
	return ret;
}

/* steered: under flagctl-steer, the plain 2 on the node reaches the driver. */
static void steered(int fd)
{
	uint8_t table[FLAGCTL_TABLE_SIZE];

	answered(fd, table);

	/*
	 * The caller's request register comes back as it went in, the upper
	 * half included (the kernel reads only the lower 32 bits as the
	 * request).
	 */
	static const unsigned long words[] = { 2, 0xffffffff00000002UL };
	for (size_t i = 0; i < sizeof(words) / sizeof(words[0]); i++) {
		uint8_t buf[FLAGCTL_TABLE_SIZE];
		unsigned long word = words[i];
		char name[40];

		snprintf(name, sizeof(name), "register-%#lx", words[i]);
		memset(buf, JUNK, sizeof(buf));
		long ret = raw_ioctl(fd, &word, buf);
		check(ret == 0 && memcmp(buf, table, sizeof(buf)) == 0, name,
		      "request 2 did not return the table");
		check(word == words[i], name, "request register changed");
	}

	/* Request 2 on any other file still gets the kernel's answer. */
	int null_fd = open("/dev/null", O_RDWR);
	check(null_fd >= 0 && kernel_answers(null_fd), "other-file",
	      "request 2 on /dev/null did not get the kernel's answer");
	if (null_fd >= 0)
		close(null_fd);
}
#endif

/* now_ms: the monotonic clock in milliseconds, or -1 when it cannot be read. */
static long long now_ms(void)
{
	struct timespec t;

	if (clock_gettime(CLOCK_MONOTONIC, &t) != 0)
		return -1;
	return (long long)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

/*
 * run_on: keeps the calling process on processor `cpu` when the machine has
 * more than one (nothing to choose otherwise). Returns 0, or -1 when the
 * processor cannot be chosen.
 */
static int run_on(int cpu)
{
	cpu_set_t set;

	if (sysconf(_SC_NPROCESSORS_ONLN) < 2)
		return 0;
	CPU_ZERO(&set);
	CPU_SET(cpu, &set);
	return sched_setaffinity(0, sizeof(set), &set);
}

/*
 * concurrent: another process sets two tables in turn, as fast as it can,
 * while this one fetches the table for RACE_MS: every fetch must succeed and
 * be one of the two, whole. With two processors the two processes are kept
 * on one each, so that the sets and the fetches really overlap: a driver
 * that lets a set in part way through a copy hands back pieces of both.
 * Leaves one of the two tables set, and this process free to run anywhere.
 */
static void concurrent(int fd)
{
	uint8_t one[FLAGCTL_TABLE_SIZE], two[FLAGCTL_TABLE_SIZE], buf[FLAGCTL_TABLE_SIZE];
	int failures = 0, mixed = 0, started = 0, fetches = 0;
	cpu_set_t anywhere;

	fill_pattern(one, 11);
	fill_pattern(two, 200);
	check(request(fd, FLAGCTL_REQ_SET, one) == 0, "concurrent", "request 1 failed");
	/* The fetches start once the setter is running: it says so through a pipe. */
	int running[2];
	if (pipe(running) != 0) {
		check(0, "concurrent", "cannot make a pipe");
		return;
	}
	pid_t setter = fork();
	if (setter == 0) {
		/* Ended by the parent; the alarm ends it should the parent die. */
		alarm(60);
		if (run_on(1) != 0)
			_exit(1);
		request(fd, FLAGCTL_REQ_SET, two);
		close(running[0]);
		if (write(running[1], "", 1) != 1)
			_exit(1);
		close(running[1]);
		for (;;) {
			request(fd, FLAGCTL_REQ_SET, one);
			request(fd, FLAGCTL_REQ_SET, two);
		}
	}
	char byte;
	close(running[1]);
	started = setter > 0 && read(running[0], &byte, 1) == 1;
	close(running[0]);
	check(started, "concurrent", "the setting process did not start");
	int pinned = sched_getaffinity(0, sizeof(anywhere), &anywhere) == 0 && run_on(0) == 0;
	check(pinned, "concurrent", "cannot keep the fetches on one processor");
	long long start = now_ms();
	check(start >= 0, "concurrent", "cannot read the monotonic clock");
	for (long long end = start + RACE_MS; started && start >= 0 && now_ms() < end; fetches++) {
		if (request(fd, get_request, buf) != 0)
			failures++;
		else if (memcmp(buf, one, sizeof(buf)) != 0 && memcmp(buf, two, sizeof(buf)) != 0)
			mixed++;
	}
	if (setter > 0) {
		kill(setter, SIGKILL);
		waitpid(setter, NULL, 0);
	}
	if (pinned)
		sched_setaffinity(0, sizeof(anywhere), &anywhere);

	char why[100];
	snprintf(why, sizeof(why), "of %d fetches in %d ms, %d failed and %d mixed two tables",
		 fetches, RACE_MS, failures, mixed);
	check(started && fetches > 0 && failures == 0 && mixed == 0, "concurrent", why);
}

/* The modes this processor has, and the number each fetches the table by. */
static const struct {
	const char *name;
	unsigned long get;
	void (*run)(int fd);
} modes[] = {
#if HAS_ALIAS
	{ "alias", FLAGCTL_REQ_GET_ALIAS, alias },
#if defined(__x86_64__)
	{ "steered", FLAGCTL_REQ_GET, steered },
#endif
#else
	{ "plain", FLAGCTL_REQ_GET, plain },
#endif
};

int main(int argc, char **argv)
{
	void (*run)(int fd) = NULL;

	for (size_t i = 0; argc == 2 && i < sizeof(modes) / sizeof(modes[0]); i++) {
		if (strcmp(argv[1], modes[i].name) == 0) {
			run = modes[i].run;
			get_request = modes[i].get;
		}
	}
	if (run == NULL) {
		printf("usage: " CHECKER);
		for (size_t i = 0; i < sizeof(modes) / sizeof(modes[0]); i++)
			printf("%c%s", i ? '|' : ' ', modes[i].name);
		printf("\n");
		return 2;
	}
	mode = argv[1];
	int fd = open(NODE, O_RDWR);
	check(fd >= 0, "open", strerror(errno));
	if (fd >= 0) {
		run(fd);
		concurrent(fd);
		close(fd);
	}
	printf(CHECKER " %s: %d passed, %d failed\n", mode, passed, failed);
	return failed == 0 ? 0 : 1;
}
