// SPDX-License-Identifier: GPL-2.0
/*
 * The reference flag driver: a misc character device, /dev/flagctl, keeping
 * one 172-byte flag table. Request 1 copies a table in, request 2 copies it
 * out, anything else is refused with ENOTTY; a user pointer that cannot be
 * read or written in full gives EFAULT and leaves the table as it was. Only
 * a file opened for writing may set the table (EBADF otherwise), and the
 * node is readable and writable by root alone.
 *
 * Where request 2 is also the kernel's generic "block size" request
 * (FIGETBSZ, which is _IO(0, 2): 2 on x86-64 and on every processor whose
 * ioctl encoding gives "no data" a direction of 0), Linux answers it itself
 * for every open file, writing the block size of the filesystem holding the
 * node into the caller's buffer, and the request never gets here. There the
 * driver also answers FLAGCTL_REQ_GET_ALIAS, an encoded number the generic
 * code does not know; a caller that must send the plain 2 has it rewritten
 * to the alias in user space, for that caller alone. Where FIGETBSZ is
 * another number (the board's MIPS gives "no data" the direction 1, so it is
 * 0x20000002), requests 1 and 2 both come straight here and the alias is
 * just another unknown request.
 */
#define pr_fmt(fmt) KBUILD_MODNAME ": " fmt

#include <linux/fs.h>
#include <linux/miscdevice.h>
#include <linux/module.h>
#include <linux/mutex.h>
#include <linux/string.h>
#include <linux/uaccess.h>

#include "flagctl.h"

/* Whether request 2 is also the kernel's own, so that the alias is needed. */
#if FIGETBSZ == FLAGCTL_REQ_GET
#define FLAGCTL_HAS_ALIAS 1
#else
#define FLAGCTL_HAS_ALIAS 0
#endif

/* The table and the lock that keeps each copy in or out whole. */
static u8 flagctl_table[FLAGCTL_TABLE_SIZE];
static DEFINE_MUTEX(flagctl_lock);

/*
 * flagctl_ioctl: answers one request on the node. Request 1 needs a file
 * opened for writing; it reads a whole table from `arg` and only then
 * replaces the driver's, so a fault part way leaves the old table in place.
 * Request 2 (or its alias, where there is one) writes the whole table to
 * `arg`. Returns 0, -EBADF for a set on a file not opened for writing,
 * -EFAULT when the caller's 172 bytes are not all accessible, or -ENOTTY
 * for any other request.
 */
static long flagctl_ioctl(struct file *file, unsigned int cmd,
			  unsigned long arg)
{
	void __user *argp = (void __user *)arg;
	u8 copy[FLAGCTL_TABLE_SIZE];

	switch (cmd) {
	case FLAGCTL_REQ_SET:
		if (!(file->f_mode & FMODE_WRITE))
			return -EBADF;
		if (copy_from_user(copy, argp, sizeof(copy)))
			return -EFAULT;
		mutex_lock(&flagctl_lock);
		memcpy(flagctl_table, copy, sizeof(copy));
		mutex_unlock(&flagctl_lock);
		return 0;
#if FLAGCTL_HAS_ALIAS
	case FLAGCTL_REQ_GET_ALIAS:
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
	/* The table configures every device: root's alone to read or set. */
	.mode = 0600,
};

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

module_init(flagctl_init);
module_exit(flagctl_exit);

MODULE_DESCRIPTION("Reference flag driver: one 172-byte flag table on /dev/flagctl");
MODULE_LICENSE("GPL");
