/* SPDX-License-Identifier: GPL-2.0 */
/*
 * The reference flag driver's contract, shared by the module and the
 * programs that test it: the control node, the table it keeps and the
 * requests it answers.
 *
 * The table is dorvane's 172-byte record (a 32-bit count in the host's own
 * byte order, then eight 21-byte entries of a 20-byte name and a flag byte).
 * The driver never interprets it: it keeps the bytes it was given and hands
 * the same bytes back, so any count and any name are carried unchanged.
 */
#ifndef FLAGCTL_H
#define FLAGCTL_H

#include <linux/ioctl.h>

#define FLAGCTL_NAME "flagctl"		/* the node is /dev/flagctl */
#define FLAGCTL_TABLE_SIZE 172		/* bytes of the table, exactly */

/*
 * The request numbers programs in the field use. They are plain integers,
 * not built with the direction/size/type encoding, so they must stay as
 * they are.
 */
#define FLAGCTL_REQ_SET 1		/* program -> driver: take over the table */
#define FLAGCTL_REQ_GET 2		/* driver -> program: fill in the table */

/*
 * Request 2 in the encoded form, for processors where the plain 2 is also
 * the kernel's generic "block size" request (FIGETBSZ is 2 on x86-64),
 * which Linux answers itself for every open file before any driver sees
 * it. The generic code does not know this number, so it reaches the driver,
 * which answers it there exactly as request 2. Elsewhere (the board's MIPS)
 * request 2 reaches the driver as it is, and this number is just another
 * unknown request.
 */
#define FLAGCTL_REQ_GET_ALIAS _IOR('F', 2, char[FLAGCTL_TABLE_SIZE])

#endif
