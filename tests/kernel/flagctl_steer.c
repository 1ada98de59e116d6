// SPDX-License-Identifier: MIT
/*
 * flagctl-steer PROGRAM [ARGS...]: runs PROGRAM so that its request 2 on the
 * flag driver's control node reaches the driver. On x86-64 request 2 is also
 * the kernel's generic "block size" request (FIGETBSZ), which the kernel
 * answers itself for every open file; the driver answers the same request
 * under an encoded number as well (FLAGCTL_REQ_GET_ALIAS). This program
 * traces PROGRAM, and the children it forks, through their system calls:
 * an ioctl(fd, 2, ...) whose descriptor is open on the control node (the
 * same character device as /dev/flagctl) enters the kernel as the alias,
 * and when it returns the caller's request register holds its own value
 * again. Every other call, and every other process, goes on untouched.
 *
 * It writes nothing while PROGRAM runs, and once PROGRAM and every process
 * it started have ended it exits with PROGRAM's status, or 128 + the
 * signal's number when a signal ended it. Its own failures go to
 * standard error: 125 when it cannot trace, 126 or 127 when PROGRAM cannot
 * be run (127: not found), 2 for a wrong command line. A stop signal reaches
 * a traced program but does not hold it: it cannot be stopped and continued
 * while it runs under this program.
 *
 * Built statically for the x86-64 guest of vm-check.
 */
#include <errno.h>
#include <linux/audit.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>

#include "flagctl.h"

#if !defined(__x86_64__)
#error "flagctl-steer rewrites x86-64 system call registers"
#endif

#define NODE "/dev/" FLAGCTL_NAME

/* A traced process (or thread) and the call it may have steered. */
struct tracee {
	pid_t pid;
	int started;		    /* its first stop, an attached child's SIGSTOP, is taken */
	int steered;		    /* a steered call is in progress */
	unsigned long long request; /* its request register before steering */
};

static struct tracee *tracees;
static size_t n_tracees, room;

/*
 * tracee_of: the record of `pid`, a new one (not started) when there is
 * none. NULL only when memory runs out.
 */
static struct tracee *tracee_of(pid_t pid)
{
	for (size_t i = 0; i < n_tracees; i++)
		if (tracees[i].pid == pid)
			return &tracees[i];
	if (n_tracees == room) {
		size_t more = room ? 2 * room : 8;
		struct tracee *grown = realloc(tracees, more * sizeof(*grown));

		if (grown == NULL)
			return NULL;
		tracees = grown;
		room = more;
	}
	tracees[n_tracees] = (struct tracee){ .pid = pid };
	return &tracees[n_tracees++];
}

/* forget: drops the record of `pid`, which has ended. */
static void forget(pid_t pid)
{
	for (size_t i = 0; i < n_tracees; i++) {
		if (tracees[i].pid == pid) {
			tracees[i] = tracees[--n_tracees];
			return;
		}
	}
}

/*
 * word: `value` as ptrace's data argument, which passes a number (options,
 * a signal, a size) in a pointer-sized word.
 */
static void *word(long value)
{
	return (void *)value; /* NOLINT(performance-no-int-to-ptr): the system call's own type */
}

/*
 * on_control_node: whether descriptor `fd` of process `pid` is open on the
 * control node's character device. The node is looked up on every call, so
 * that a driver loaded again under another minor number is still found.
 */
static int on_control_node(pid_t pid, unsigned int fd)
{
	char path[64];
	struct stat node, open_file;

	snprintf(path, sizeof(path), "/proc/%d/fd/%u", (int)pid, fd);
	if (stat(NODE, &node) != 0 || stat(path, &open_file) != 0)
		return 0;
	return S_ISCHR(node.st_mode) && S_ISCHR(open_file.st_mode) &&
	       node.st_rdev == open_file.st_rdev;
}

/*
 * set_request: sets the request register (the ioctl's second argument) of
 * the stopped tracee `t` to `request`, first saving the one it had in `old`
 * when `old` is not NULL. Returns 0, or -1 when the registers could not be
 * read or written (the tracee is gone).
 */
static int set_request(const struct tracee *t, unsigned long long request, unsigned long long *old)
{
	struct user_regs_struct regs;

	if (ptrace(PTRACE_GETREGS, t->pid, NULL, &regs) != 0)
		return -1;
	if (old != NULL)
		*old = regs.rsi;
	regs.rsi = request;
	return ptrace(PTRACE_SETREGS, t->pid, NULL, &regs) == 0 ? 0 : -1;
}

/*
 * at_syscall: a system call stop of `t`. On entry to a 64-bit ioctl with
 * request 2 (the kernel reads the request as 32 bits, and so does this) on
 * the control node, the request becomes the alias; on the exit of such a
 * call the caller's own request word is put back, so that a call the kernel
 * restarts is steered afresh and the caller never sees the rewrite.
 */
static void at_syscall(struct tracee *t)
{
	struct __ptrace_syscall_info info;

	if (ptrace(PTRACE_GET_SYSCALL_INFO, t->pid, word(sizeof(info)), &info) <= 0)
		return;
	if (info.op == PTRACE_SYSCALL_INFO_ENTRY) {
		if (info.arch == AUDIT_ARCH_X86_64 && info.entry.nr == SYS_ioctl &&
		    (unsigned int)info.entry.args[1] == FLAGCTL_REQ_GET &&
		    on_control_node(t->pid, (unsigned int)info.entry.args[0]))
			t->steered = set_request(t, FLAGCTL_REQ_GET_ALIAS, &t->request) == 0;
	} else if (info.op == PTRACE_SYSCALL_INFO_EXIT && t->steered) {
		set_request(t, t->request, NULL);
		t->steered = 0;
	}
}

/*
 * trace: follows `child` and every process it starts until none is left.
 * Returns the exit status for `child`: its own, or 128 + the signal that
 * ended it; 125 when tracing fails.
 */
static int trace(pid_t child)
{
	int status, result = 125;

	/* The child stops itself before it runs the program. */
	if (waitpid(child, &status, 0) != child || !WIFSTOPPED(status)) {
		fprintf(stderr, "flagctl-steer: the program did not stop for tracing\n");
		return result;
	}
	/*
	 * Syscall stops marked apart from signals; fork, clone and exec as
	 * events, so that children are traced and no exec SIGTRAP is sent;
	 * and every tracee killed if this program dies, rather than left to
	 * run with request 2 unsteered.
	 */
	long options = PTRACE_O_TRACESYSGOOD | PTRACE_O_TRACEFORK | PTRACE_O_TRACEVFORK |
		       PTRACE_O_TRACECLONE | PTRACE_O_TRACEEXEC | PTRACE_O_EXITKILL;
	struct tracee *first = tracee_of(child);

	if (first == NULL || ptrace(PTRACE_SETOPTIONS, child, NULL, word(options)) != 0) {
		fprintf(stderr, "flagctl-steer: cannot trace the program: %s\n",
			first == NULL ? strerror(ENOMEM) : strerror(errno));
		kill(child, SIGKILL);
		return result;
	}
	first->started = 1;
	ptrace(PTRACE_SYSCALL, child, NULL, NULL);

	for (;;) {
		pid_t pid = waitpid(-1, &status, __WALL);

		if (pid < 0) {
			if (errno == EINTR)
				continue;
			break; /* ECHILD: every tracee has ended */
		}
		if (WIFEXITED(status) || WIFSIGNALED(status)) {
			if (pid == child)
				result = WIFEXITED(status) ? WEXITSTATUS(status)
							   : 128 + WTERMSIG(status);
			forget(pid);
			continue;
		}
		if (!WIFSTOPPED(status))
			continue;
		struct tracee *t = tracee_of(pid);
		int sig = WSTOPSIG(status), deliver = 0;

		if (t == NULL) {
			fprintf(stderr, "flagctl-steer: out of memory\n");
			kill(child, SIGKILL);
			exit(125);
		}
		/*
		 * A signal for the program is passed on; an event (fork, clone
		 * or exec) and a new child's first SIGSTOP, which the kernel
		 * sends to start tracing it, are not signals of the program.
		 */
		if (sig == (SIGTRAP | 0x80))
			at_syscall(t);
		else if (status >> 16 == 0 && (t->started || sig != SIGSTOP))
			deliver = sig;
		t->started = 1;
		/* ESRCH: it was killed meanwhile, and its end comes next. */
		ptrace(PTRACE_SYSCALL, pid, NULL, word(deliver));
	}
	return result;
}

int main(int argc, char **argv)
{
	if (argc < 2) {
		fprintf(stderr, "usage: flagctl-steer PROGRAM [ARGS...]\n");
		return 2;
	}
	pid_t child = fork();

	if (child < 0) {
		fprintf(stderr, "flagctl-steer: cannot start %s: %s\n", argv[1], strerror(errno));
		return 125;
	}
	if (child == 0) {
		if (ptrace(PTRACE_TRACEME, 0, NULL, NULL) != 0) {
			fprintf(stderr, "flagctl-steer: cannot be traced: %s\n", strerror(errno));
			_exit(125);
		}
		kill(getpid(), SIGSTOP);
		execvp(argv[1], argv + 1);
		int err = errno;

		fprintf(stderr, "flagctl-steer: cannot run %s: %s\n", argv[1], strerror(err));
		_exit(err == ENOENT ? 127 : 126);
	}
	return trace(child);
}
