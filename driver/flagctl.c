// SPDX-License-Identifier: GPL-2.0
/*
 * The reference flag driver: a misc character device, /dev/flagctl, keeping
 * one 172-byte flag table. Request 1 copies a table in, request 2 copies it
 * out, anything else is refused with ENOTTY; a user pointer that cannot be
 * read or written in full gives EFAULT and leaves the table as it was.
 *
 * Where request 2 is also the kernel's generic "block size" request
 * (FIGETBSZ, which is _IO(0, 2): 2 on x86-64 and on every processor whose
 * ioctl encoding gives "no data" a direction of 0), Linux answers it itself
 * for every open file: it writes the block size of the filesystem holding
 * the node into the first four bytes of the caller's buffer and returns 0,
 * without asking the driver. Request 1 is answered generically only for
 * regular files, so it does reach us. The numbers are fixed by the programs
 * in the field, so there, with steer_get on (the default), a return probe on
 * the ioctl system call's entry spots a request 2 aimed at this device and
 * rewrites it, in the caller's saved registers, to FLAGCTL_STEERED_GET,
 * which reaches flagctl_ioctl(); when the call returns the register is put
 * back, so the caller sees its own request number again. A probe that
 * cannot be placed makes loading fail: without it request 2 would be
 * answered with the block size instead of the table.
 *
 * Where FIGETBSZ is another number (the board's MIPS gives "no data" the
 * direction 1, so it is 0x20000002), requests 1 and 2 both come straight
 * here, and the module is the plain misc device: no probe, no parameter.
 */
#define pr_fmt(fmt) KBUILD_MODNAME ": " fmt

#include <linux/fdtable.h>
#include <linux/fs.h>
#include <linux/kprobes.h>
#include <linux/miscdevice.h>
#include <linux/module.h>
#include <linux/mutex.h>
#include <linux/rcupdate.h>
#include <linux/sched.h>
#include <linux/string.h>
#include <linux/uaccess.h>

#include "flagctl.h"

/* Whether request 2 has to be steered past the kernel's generic answer. */
#if FIGETBSZ == FLAGCTL_REQ_GET
#define FLAGCTL_STEERING 1
#ifndef CONFIG_X86_64
/*
 * The probe reads and rewrites the saved user registers through x86-64's
 * system call wrapper (the entry receives them as its only argument).
 * Another architecture needs its own entry symbol and register names here.
 */
#error "request 2 is this kernel's FIGETBSZ, and the probe that steers it to the driver is written for x86-64 only"
#endif
#else
#define FLAGCTL_STEERING 0
#endif

#if FLAGCTL_STEERING
static bool steer_get = true;
module_param(steer_get, bool, 0444);
MODULE_PARM_DESC(steer_get,
		 "Steer request 2 past the kernel's generic answer to this driver (default on)");
#endif

/* The table and the lock that keeps each copy in or out whole. */
static u8 flagctl_table[FLAGCTL_TABLE_SIZE];
static DEFINE_MUTEX(flagctl_lock);

/*
 * flagctl_ioctl: answers one request on the node. Request 1 reads a whole
 * table from `arg` and only then replaces the driver's, so a fault part way
 * leaves the old table in place; request 2 (or its steered form, while
 * steering is on) writes the whole table to `arg`. Returns 0, -EFAULT when
 * the caller's 172 bytes are not all accessible, or -ENOTTY for any other
 * request.
 */
static long flagctl_ioctl(struct file *file, unsigned int cmd,
			  unsigned long arg)
{
	void __user *argp = (void __user *)arg;
	u8 copy[FLAGCTL_TABLE_SIZE];

	switch (cmd) {
	case FLAGCTL_REQ_SET:
		if (copy_from_user(copy, argp, sizeof(copy)))
			return -EFAULT;
		mutex_lock(&flagctl_lock);
		memcpy(flagctl_table, copy, sizeof(copy));
		mutex_unlock(&flagctl_lock);
		return 0;
#if FLAGCTL_STEERING
	case FLAGCTL_STEERED_GET:
		if (!steer_get)
			return -ENOTTY;
		fallthrough;
#endif
	case FLAGCTL_REQ_GET:
		/* Copied out of the lock: a fault must not stall other callers. */
		mutex_lock(&flagctl_lock);
		memcpy(copy, flagctl_table, sizeof(copy));
		mutex_unlock(&flagctl_lock);
		if (copy_to_user(argp, copy, sizeof(copy)))
			return -EFAULT;
		return 0;
	default:
		return -ENOTTY;
	}
}

static const struct file_operations flagctl_fops = {
	.owner = THIS_MODULE,
	.unlocked_ioctl = flagctl_ioctl,
	/* The table holds no pointers, so 32-bit callers share the same code. */
	.compat_ioctl = compat_ptr_ioctl,
	.llseek = noop_llseek,
};

static struct miscdevice flagctl_device = {
	.minor = MISC_DYNAMIC_MINOR,
	.name = FLAGCTL_NAME,
	.fops = &flagctl_fops,
};

#if FLAGCTL_STEERING
/* What a steered call must put back when it returns. */
struct flagctl_steered_call {
	struct pt_regs *user_regs;	/* the caller's saved registers */
	unsigned long request_reg;	/* their request register, as it was */
};

/*
 * flagctl_steer_entry: runs at the entry of every 64-bit ioctl system call,
 * with preemption off. When the call is request 2 on a descriptor open on
 * this device, it rewrites the request in the caller's saved registers to
 * FLAGCTL_STEERED_GET, records how to undo that in `ri` and returns 0 so
 * that flagctl_steer_return() runs at the end of the call. Returns 1 for
 * every other call, which then goes on untouched.
 */
static int flagctl_steer_entry(struct kretprobe_instance *ri,
			       struct pt_regs *regs)
{
	struct flagctl_steered_call *call = (void *)ri->data;
	struct pt_regs *user_regs;
	struct files_struct *files = current->files;
	struct file *file;
	bool ours;

	/* The wrapper's only argument is the caller's saved registers. */
	user_regs = (struct pt_regs *)regs_get_kernel_argument(regs, 0);
	/* The system call reads the request and descriptor as unsigned ints. */
	if ((unsigned int)user_regs->si != FLAGCTL_REQ_GET || !files)
		return 1;

	/*
	 * Only the file's identity is compared, so no reference is taken; RCU
	 * keeps the file's memory valid while its operations are read.
	 */
	rcu_read_lock();
	file = files_lookup_fd_rcu(files, (unsigned int)user_regs->di);
	ours = file && file->f_op == &flagctl_fops;
	rcu_read_unlock();
	if (!ours)
		return 1;

	call->user_regs = user_regs;
	call->request_reg = user_regs->si;
	user_regs->si = FLAGCTL_STEERED_GET;
	return 0;
}

/*
 * flagctl_steer_return: runs when a steered call returns, before the caller
 * resumes; puts the caller's request register back as it was, so the rewrite
 * is never visible to it (and a restarted call is steered afresh). Returns 0.
 */
static int flagctl_steer_return(struct kretprobe_instance *ri,
				struct pt_regs *regs)
{
	struct flagctl_steered_call *call = (void *)ri->data;

	call->user_regs->si = call->request_reg;
	return 0;
}

static struct kretprobe flagctl_steer_probe = {
	.kp.symbol_name = "__x64_sys_ioctl",
	.entry_handler = flagctl_steer_entry,
	.handler = flagctl_steer_return,
	.data_size = sizeof(struct flagctl_steered_call),
	/*
	 * An instance is held only while a steered call is inside the driver
	 * (other calls give theirs back at once); one that finds none left is
	 * not steered and gets the generic answer, which dorvane reports as an
	 * invalid reply. This is room for many concurrent callers.
	 */
	.maxactive = 64,
};

/*
 * flagctl_init: places the probe first (when steering is on), so that no
 * node exists before request 2 can reach it, then registers the device.
 * Returns 0, or the error that stopped either step, having undone the other.
 */
static int __init flagctl_init(void)
{
	int err;

	if (steer_get) {
		err = register_kretprobe(&flagctl_steer_probe);
		if (err) {
			pr_err("cannot place the request-2 probe on %s: error %d\n",
			       flagctl_steer_probe.kp.symbol_name, err);
			return err;
		}
	}
	err = misc_register(&flagctl_device);
	if (err) {
		pr_err("cannot register /dev/%s: error %d\n", FLAGCTL_NAME, err);
		if (steer_get)
			unregister_kretprobe(&flagctl_steer_probe);
	}
	return err;
}

/*
 * flagctl_exit: removes the node, then the probe. An open file holds the
 * module, so no call on the device is in progress by now.
 */
static void __exit flagctl_exit(void)
{
	misc_deregister(&flagctl_device);
	if (steer_get)
		unregister_kretprobe(&flagctl_steer_probe);
}
#else
/* flagctl_init: registers the device. Returns 0 or the error. */
static int __init flagctl_init(void)
{
	int err = misc_register(&flagctl_device);

	if (err)
		pr_err("cannot register /dev/%s: error %d\n", FLAGCTL_NAME, err);
	return err;
}

/* flagctl_exit: removes the node; an open file holds the module. */
static void __exit flagctl_exit(void)
{
	misc_deregister(&flagctl_device);
}
#endif

module_init(flagctl_init);
module_exit(flagctl_exit);

MODULE_DESCRIPTION("Reference flag driver: one 172-byte flag table on /dev/flagctl");
MODULE_LICENSE("GPL");
