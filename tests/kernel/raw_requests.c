/*
 * raw-requests: exercises the flag driver's requests directly, in the guest
 * booted by vm-check, for what dorvane cannot show: exact bytes, unknown
 * requests, bad pointers and, where there is one, the steering of request 2.
 *
 *   raw-requests plain       a kernel whose own requests leave 1 and 2 alone
 *                            (the board's MIPS): the module has no probe
 *   raw-requests steered     x86-64, the module loaded with steer_get on
 *   raw-requests unsteered   x86-64, the module loaded with steer_get=0
 *
 * Prints one "vm-check: FAIL ..." line per failed check, then
 * "raw-requests MODE: P passed, F failed"; exits with 0 only when F is 0.
 * Built statically for the guest's processor.
 */
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "flagctl.h"

#define NODE "/dev/" FLAGCTL_NAME
#define JUNK 0x5a /* fills buffers the driver is expected to write */
#define GUARD 16  /* bytes after a table that must stay untouched */

static const char *mode;
static int passed, failed;

/* check: records one check, printing why it failed when it did. */
static void check(int ok, const char *name, const char *why)
{
	if (ok) {
		passed++;
	} else {
		failed++;
		printf("vm-check: FAIL raw-requests %s %s: %s\n", mode, name, why);
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
 * read_back: request 2 (steered) into a junk-filled buffer with a guard
 * after it. Returns 1 when exactly the 172 bytes of `want` were written.
 */
static int read_back(int fd, const uint8_t *want)
{
	uint8_t buf[FLAGCTL_TABLE_SIZE + GUARD];

	memset(buf, JUNK, sizeof(buf));
	if (request(fd, FLAGCTL_REQ_GET, buf) != 0)
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
 * answered: what every mode with request 2 reaching the driver shares:
 * exact bytes, unknown requests and bad pointers. Leaves `table` set.
 */
static void answered(int fd, uint8_t *table)
{
	uint8_t other[FLAGCTL_TABLE_SIZE];

	/* Every byte is kept: counts and unterminated names are not judged. */
	fill_pattern(table, 3);
	check(request(fd, FLAGCTL_REQ_SET, table) == 0, "set", "request 1 failed");
	check(read_back(fd, table), "get", "request 2 did not return exactly the 172 bytes set");

	/*
	 * Requests the driver does not know, each refused with no effect;
	 * without a probe the steered number is one of them.
	 */
	static const unsigned long unknown[] = {
		0, 3, 0x4602, FLAGCTL_REQ_GET | 0x100, 0xffffffffUL, FLAGCTL_STEERED_GET,
	};
	size_t n_unknown = sizeof(unknown) / sizeof(unknown[0]);
	fill_pattern(other, 99);
	if (strcmp(mode, "steered") == 0)
		n_unknown--;
	for (size_t i = 0; i < n_unknown; i++) {
		char name[32];

		snprintf(name, sizeof(name), "unknown-%#lx", unknown[i]);
		check(request(fd, unknown[i], other) == ENOTTY, name, "not refused with ENOTTY");
	}
	check(read_back(fd, table), "unknown-no-effect", "an unknown request changed the table");

	/* Pointers the driver cannot use in full: EFAULT, table unchanged. */
	uint8_t *edge = map_edge();
	check(edge != NULL, "map", "cannot map the test pages");
	if (edge == NULL)
		return;
	uint8_t *straddling = edge - FLAGCTL_TABLE_SIZE / 2;
	memset(straddling, 7, FLAGCTL_TABLE_SIZE / 2);
	static const struct {
		const char *name;
		unsigned long number;
		int straddle; /* 0: NULL pointer, 1: table runs off the mapping */
	} faults[] = {
		{ "set-null", FLAGCTL_REQ_SET, 0 },
		{ "set-straddling", FLAGCTL_REQ_SET, 1 },
		{ "get-null", FLAGCTL_REQ_GET, 0 },
		{ "get-straddling", FLAGCTL_REQ_GET, 1 },
	};
	for (size_t i = 0; i < sizeof(faults) / sizeof(faults[0]); i++) {
		void *arg = faults[i].straddle ? straddling : NULL;

		check(request(fd, faults[i].number, arg) == EFAULT, faults[i].name,
		      "not refused with EFAULT");
		check(read_back(fd, table), faults[i].name, "a refused request changed the table");
	}
	mprotect(edge - sysconf(_SC_PAGESIZE), sysconf(_SC_PAGESIZE), PROT_READ);
	check(request(fd, FLAGCTL_REQ_GET, edge - FLAGCTL_TABLE_SIZE) == EFAULT, "get-read-only",
	      "not refused with EFAULT");
}

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

#if defined(__x86_64__)
/*
 * raw_ioctl: request 2 as a bare system call with the request word in
 * *`word`, which receives the register's value after the call. Returns the
 * call's result. The steering rewrites this register on the way in, so it
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

/* The generic answer to request 2: the block size of the node's filesystem. */
static int32_t block_size(int fd)
{
	struct statfs fs;

	return fstatfs(fd, &fs) == 0 ? (int32_t)fs.f_bsize : -1;
}

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

	/* Request 2 on any other file still gets the generic answer. */
	int null_fd = open("/dev/null", O_RDWR);
	int32_t size = 0;
	check(null_fd >= 0 && request(null_fd, FLAGCTL_REQ_GET, &size) == 0 &&
		      size == block_size(null_fd) && size > 0,
	      "other-file", "request 2 on /dev/null was not answered generically");
	if (null_fd >= 0)
		close(null_fd);
}

static void unsteered(int fd)
{
	uint8_t table[FLAGCTL_TABLE_SIZE], buf[FLAGCTL_TABLE_SIZE];
	int32_t size = block_size(fd);

	fill_pattern(table, 5);
	check(request(fd, FLAGCTL_REQ_SET, table) == 0, "set",
	      "request 1 did not reach the driver");

	/* The kernel's own answer: the block size in the first four bytes. */
	memset(buf, JUNK, sizeof(buf));
	check(request(fd, FLAGCTL_REQ_GET, buf) == 0, "get", "request 2 failed");
	int32_t count;
	memcpy(&count, buf, sizeof(count));
	check(size > 0 && count == size, "get-generic",
	      "request 2 did not return the filesystem's block size");
	int untouched = 1;
	for (int i = 4; i < FLAGCTL_TABLE_SIZE; i++)
		untouched &= buf[i] == JUNK;
	check(untouched, "get-generic-rest", "bytes past the count were written");

	/* Without steering nothing is steered, so the steered form is unknown. */
	check(request(fd, FLAGCTL_STEERED_GET, buf) == ENOTTY, "steered-number",
	      "not refused with ENOTTY");
}
#endif

/* The modes this processor has: the probe exists for x86-64 only. */
static const struct {
	const char *name;
	void (*run)(int fd);
} modes[] = {
	{ "plain", plain },
#if defined(__x86_64__)
	{ "steered", steered },
	{ "unsteered", unsteered },
#endif
};

int main(int argc, char **argv)
{
	void (*run)(int fd) = NULL;

	for (size_t i = 0; argc == 2 && i < sizeof(modes) / sizeof(modes[0]); i++)
		if (strcmp(argv[1], modes[i].name) == 0)
			run = modes[i].run;
	if (run == NULL) {
		printf("usage: raw-requests plain|steered|unsteered\n");
		return 2;
	}
	mode = argv[1];
	int fd = open(NODE, O_RDWR);
	check(fd >= 0, "open", strerror(errno));
	if (fd >= 0) {
		run(fd);
		close(fd);
	}
	printf("raw-requests %s: %d passed, %d failed\n", mode, passed, failed);
	return failed == 0 ? 0 : 1;
}
