#!/bin/busybox sh
# SPDX-License-Identifier: MIT
# shellcheck shell=dash # busybox ash, checked as the POSIX shell it extends
# /init of both vm-check guests: loads the reference flag driver, runs the
# real dorvane and raw-requests against it, prints each failure and the tally
# "vm-check: N passed, M failed on Linux RELEASE MACHINE" on the console, and
# stops the machine. The host judges the run by those lines alone.
#
# On x86-64 request 2 is also the kernel's own FIGETBSZ, which the kernel
# answers itself for every file, so every dorvane case runs through
# flagctl-steer, which rewrites that program's request 2 on the node into
# the driver's encoded alias; one case shows what dorvane gets without it.
# There the checker also runs as a 32-bit program, raw-requests-i386, whose
# requests reach the driver through the kernel's compat path.
# On the board's MIPS request 2 reaches the driver as it is, and the image
# there also holds obscure and the host's check of its ELF files, and the
# kernel must randomise where obscure, a PIE program, is loaded.

# The shell applets need /proc to find busybox, and the console lives on
# devtmpfs: the initramfs holds no device nodes of its own.
/bin/busybox mount -t devtmpfs devtmpfs /dev
/bin/busybox mount -t proc proc /proc
/bin/busybox mount -t sysfs sysfs /sys
/bin/busybox --install -s /bin
exec </dev/console >/dev/console 2>&1
export PATH=/bin:/usr/bin:/usr/sbin
cd /tmp || exit 1

# What runs dorvane: flagctl-steer where request 2 is the kernel's own.
case $(uname -m) in
x86_64) STEER=flagctl-steer ;;
*) STEER= ;;
esac
MODULE=/lib/modules/flagctl.ko
NODE=/dev/flagctl
NL='
'
passed=0
failed=0

pass() { passed=$((passed + 1)); }
fail() {
	failed=$((failed + 1))
	echo "vm-check: FAIL $1: $2"
}

# check NAME COMMAND...: a case that holds when COMMAND succeeds.
check() {
	name=$1
	shift
	if "$@"; then pass; else fail "$name" "$*"; fi
}

# expect NAME STATUS OUTPUT ARGS...: runs dorvane ARGS (through $STEER) and
# compares its exit status and its whole standard output (OUTPUT exactly);
# it must write nothing to standard error.
expect() {
	name=$1 status=$2 want=$3
	shift 3
	$STEER dorvane "$@" </dev/null >out 2>err
	got=$?
	printf '%s' "$want" >want
	if [ "$got" != "$status" ]; then
		fail "$name" "status $got, expected $status; output:$NL$(cat out)"
	elif ! cmp -s want out; then
		fail "$name" "output differs:$NL$(diff want out)"
	elif [ -s err ]; then
		fail "$name" "wrote to standard error: $(cat err)"
	else
		pass
	fi
}

# storm_table I: the set request of caller I: eight entries all naming I, so
# that a listing mixing two callers' tables shows. storm_listing I: how show
# lists it.
storm_table() {
	printf '['
	for k in 0 1 2 3 4 5 6 7; do
		[ "$k" = 0 ] || printf ','
		printf '{"devname":"c%sn%s","flag":"%s"}' "$1" "$k" "$1"
	done
	printf ']'
}
storm_listing() {
	for k in 0 1 2 3 4 5 6 7; do
		printf 'dev[%s]:c%sn%s flag:%s\n' "$k" "$1" "$k" "$1"
	done
}

# storm_whole FILE: true when FILE is exactly the listing of a caller's
# table (0 to STORM_CALLERS), and sets $n to that caller.
storm_whole() {
	n=$(sed -n '1s/^dev\[0\]:c\([0-9]*\)n0 .*/\1/p' "$1")
	[ -n "$n" ] && [ "$n" -le "$STORM_CALLERS" ] && cmp -s "$1" "storm/listing.$n"
}

# storm: STORM_CALLERS sets and as many shows, started together: each waits
# on a fifo that opens for all of them at once.
STORM_CALLERS=40
storm() {
	if ! { rm -rf storm && mkdir storm && mkfifo storm/go; }; then
		fail "storm" "no fifo"
		return
	fi
	# Caller 0's table is there before the storm, so an early show lists it.
	$STEER dorvane set "$(storm_table 0)" >/dev/null
	i=1
	while [ "$i" -le "$STORM_CALLERS" ]; do
		(: <storm/go; $STEER dorvane set "$(storm_table "$i")" >storm/set.$i 2>&1
		 echo $? >storm/set.$i.status) &
		(: <storm/go; $STEER dorvane show >storm/show.$i 2>&1
		 echo $? >storm/show.$i.status) &
		i=$((i + 1))
	done
	exec 3>storm/go
	wait
	exec 3>&-

	i=0
	while [ "$i" -le "$STORM_CALLERS" ]; do
		storm_listing "$i" >storm/listing.$i
		i=$((i + 1))
	done
	bad_sets="" mixed="" refused=0
	i=1
	while [ "$i" -le "$STORM_CALLERS" ]; do
		storm_table "$i" >storm/want
		echo >>storm/want
		[ "$(cat storm/set.$i.status)" = 0 ] && cmp -s storm/want storm/set.$i ||
			bad_sets="$bad_sets $i"
		case $(cat storm/show.$i.status) in
		0) storm_whole storm/show.$i || mixed="$mixed $i" ;;
		# A failure is one message line naming the node.
		1) refused=$((refused + 1))
		   [ "$(wc -l <storm/show.$i)" = 1 ] && grep -q " $NODE" storm/show.$i ||
			mixed="$mixed $i" ;;
		*) mixed="$mixed $i" ;;
		esac
		i=$((i + 1))
	done
	if [ -z "$bad_sets" ]; then pass; else
		fail "storm sets" "callers$bad_sets:$NL$(cat "storm/set.${bad_sets##* }")"
	fi
	if [ -z "$mixed" ]; then pass; else
		fail "storm shows whole" "callers$mixed:$NL$(cat "storm/show.${mixed##* }")"
	fi
	if [ "$refused" = 0 ]; then pass; else
		fail "storm shows all answered" "$refused of $STORM_CALLERS failed"
	fi
	# Caller 0's table was replaced by every other set.
	$STEER dorvane show >storm/after 2>&1
	if storm_whole storm/after && [ "$n" != 0 ]; then pass; else
		fail "storm kept a table" "after the storm:$NL$(cat storm/after)"
	fi
}

# raw MODE [PREFIX...]: runs the checker $CHECKER (raw-requests, or its
# 32-bit build) with MODE (after PREFIX, a program that runs it) and adds
# its checks to the tally.
CHECKER=raw-requests
raw() {
	mode=$1
	shift
	"$@" "$CHECKER" "$mode" >out 2>&1
	status=$?
	grep '^vm-check: FAIL' out
	tally=$(sed -n "s/^$CHECKER $mode: \([0-9]*\) passed, \([0-9]*\) failed$/\1 \2/p" out)
	if [ -z "$tally" ]; then
		fail "$CHECKER $mode" "no tally (status $status):$NL$(cat out)"
		return
	fi
	passed=$((passed + ${tally% *}))
	failed=$((failed + ${tally#* }))
	# A non-zero status with no failed check is a failure of its own.
	[ "$status" = 0 ] || [ "${tally#* }" != 0 ] || fail "$CHECKER $mode" "status $status"
}

# load_address: the address at which obscure, a PIE program, is loaded in
# one run, in $address (empty when it was not seen). It runs as installed,
# with -i, its standard input a fifo this shell holds open for writing, so
# that it waits in its read while its mappings are read; then it is given
# a line and must end with status 0.
load_address() {
	address=
	rm -f aslr.fifo && mkfifo aslr.fifo && exec 3<>aslr.fifo || return 1
	obscure -i <aslr.fifo >aslr.out 2>&1 3>&- &
	pid=$!
	tries=0
	while [ -z "$address" ] && [ "$tries" -lt 100 ]; do
		address=$(sed -n 's|^\([0-9a-f]*\)-.* /usr/bin/obscure$|\1|p' \
			"/proc/$pid/maps" 2>/dev/null | head -n 1)
		[ -n "$address" ] || { tries=$((tries + 1)); sleep 0.1; }
	done
	echo text >&3
	exec 3>&-
	wait "$pid"
}

# aslr: the kernel randomises the address space fully (stack, mappings,
# PIE programs, heap), and obscure is loaded at another address in some of
# eight runs. A 32-bit MIPS kernel draws 8 bits of 4 KiB pages, and the
# program's 64 KiB segment alignment leaves 16 load addresses of those:
# eight runs at one address happen by chance once in 268 million.
aslr() {
	check "randomize_va_space 2" grep -qx 2 /proc/sys/kernel/randomize_va_space
	seen=""
	for run in 1 2 3 4 5 6 7 8; do
		if ! load_address || [ -z "$address" ]; then
			fail "obscure's load address" "run $run: not seen (address '$address'):$NL$(cat aslr.out)"
			return
		fi
		seen="$seen$address$NL"
	done
	if [ "$(printf '%s' "$seen" | sort -u | wc -l)" -gt 1 ]; then pass; else
		fail "PIE loaded at random" "eight runs of obscure, all at 0x$address"
	fi
}

# image_check: the host's check of every ELF file in this image, made before
# it booted (tests/kernel/mips_image.sh), added to the tally.
image_check() {
	report=/etc/image-check
	tally=$(sed -n 's/^\([0-9]*\) passed, \([0-9]*\) failed$/\1 \2/p' "$report")
	if [ -z "$tally" ]; then
		fail "image check" "no tally in $report"
		return
	fi
	sed -n 's/^FAIL /vm-check: FAIL image check: /p' "$report"
	passed=$((passed + ${tally% *}))
	failed=$((failed + ${tally#* }))
}

# round_trip NAME TEXT ENVELOPE: obscure -- TEXT prints ENVELOPE, and
# obscure -d ENVELOPE prints TEXT back, byte for byte, both with status 0
# and nothing on standard error.
round_trip() {
	name=$1 text=$2 envelope=$3
	printf '%s\n' "$envelope" >want.envelope
	printf '%s\n' "$text" >want.text
	obscure -- "$text" >got.envelope 2>err.envelope
	status=$?
	obscure -d "$envelope" >got.text 2>err.text
	status="$status $?"
	if [ "$status" != "0 0" ]; then
		fail "$name" "statuses $status (envelope, text)"
	elif ! cmp -s want.envelope got.envelope; then
		fail "$name" "envelope differs:$NL$(cat got.envelope)"
	elif ! cmp -s want.text got.text; then
		fail "$name" "text differs:$NL$(od -c got.text)"
	elif [ -s err.envelope ] || [ -s err.text ]; then
		fail "$name" "wrote to standard error: $(cat err.envelope err.text)"
	else
		pass
	fi
}

# The driver: the plain misc device, with no parameter. A good load logs
# no failure: of the lines the kernel logged while it loaded, in a log that
# can be read, none at error level or worse (the driver's own "cannot"
# among them) and no warning with a backtrace, whether insmod failed or not.
dmesg -r >before.log
check "load" insmod "$MODULE"
load_logged() {
	dmesg -r >dmesg.log && [ -s dmesg.log ] || return 1
	grep -vxF -f before.log dmesg.log >load.log
	! grep -E '^<[0-3]>|WARNING:|BUG:|Oops' load.log
}
check "load logs no failure" load_logged
check "node" test -c "$NODE"
check "no parameters" test ! -e /sys/module/flagctl/parameters
expect "fresh table lists nothing" 0 "" show

USAGE='[{"devname":"wl0","flag":"10"},{"devname":"wl1","flag":"11"}]'
expect "usage example set" 0 "$USAGE$NL" set "$USAGE"
expect "usage example show" 0 "dev[0]:wl0 flag:10${NL}dev[1]:wl1 flag:11$NL" show

# Not steered, request 1 still reaches the driver, but the kernel answers
# request 2 with the block size of the node's filesystem, which dorvane
# rejects as a count no table has.
if [ -n "$STEER" ]; then
	STEER=
	BLOCK=$(stat -f -c %s /dev)
	expect "show without steering" 1 "invalid reply from $NODE: count $BLOCK (at most 8)$NL" show
	STEER=flagctl-steer
fi

# Eight entries, the most a table holds: a 19-byte name, a name cut to 19
# bytes, flags read as text and as numbers, kept to their low 8 bits.
EIGHT='[{"devname":"wl0","flag":"0"},{"devname":"wl1","flag":"255"},
{"devname":"eth0","flag":256},{"devname":"eth1","flag":"-1"},
{"devname":"abcdefghijklmnopqrs","flag":7},
{"devname":"abcdefghijklmnopqrstuvwxyz","flag":" 42x"},
{"devname":"br0","flag":1e2},{"devname":"lan7","flag":"99"}]'
EIGHT_SHOWN="dev[0]:wl0 flag:0
dev[1]:wl1 flag:255
dev[2]:eth0 flag:0
dev[3]:eth1 flag:255
dev[4]:abcdefghijklmnopqrs flag:7
dev[5]:abcdefghijklmnopqrs flag:42
dev[6]:br0 flag:100
dev[7]:lan7 flag:99
"
expect "eight entries set" 0 "$EIGHT$NL" set "$EIGHT"
expect "eight entries show" 0 "$EIGHT_SHOWN" show

# Refused requests never reach the driver: its table stays as it was.
NINE='[{"devname":"a","flag":"1"},{"devname":"b","flag":"2"},
{"devname":"c","flag":"3"},{"devname":"d","flag":"4"},
{"devname":"e","flag":"5"},{"devname":"f","flag":"6"},
{"devname":"g","flag":"7"},{"devname":"h","flag":"8"},
{"devname":"i","flag":"9"}]'
expect "nine entries refused" 1 "$NINE${NL}too many entries: 9 (at most 8)$NL" set "$NINE"
expect "bad json refused" 1 "[{${NL}bad json string.${NL}[{$NL" set "[{"
expect "bad entry refused" 1 \
	"[{\"devname\":\"wl0\"}]${NL}bad entry 0: \"flag\" missing or not a string or number$NL" \
	set '[{"devname":"wl0"}]'
expect "refusals left the table" 0 "$EIGHT_SHOWN" show

# An empty name keeps its index: the listing has a gap.
expect "gap set" 0 "[{\"devname\":\"\",\"flag\":\"1\"},{\"devname\":\"wl1\",\"flag\":\"11\"}]$NL" \
	set '[{"devname":"","flag":"1"},{"devname":"wl1","flag":"11"}]'
expect "gap show" 0 "dev[1]:wl1 flag:11$NL" show

# Saved with show --json, replaced, and restored from the saved text: the
# same table comes back, its unlisted empty name included.
json_round_trip() {
	$STEER dorvane show --json >saved.json && $STEER dorvane show >saved.list &&
		grep -q '"wl1"' saved.json &&
		$STEER dorvane set "$USAGE" >/dev/null &&
		$STEER dorvane set "$(cat saved.json)" >/dev/null &&
		$STEER dorvane show --json >again.json && $STEER dorvane show >again.list &&
		cmp saved.json again.json && cmp saved.list again.list
}
check "show --json round trip" json_round_trip

# Many callers at once: every set must land whole, every show must list one
# whole table that some set sent (or fail with its message and status 1,
# which at this load is not expected either), and the driver must be left
# holding the table of one of the storm's sets, whichever came last.
storm
if [ -n "$STEER" ]; then
	raw alias
	raw steered flagctl-steer
	# A 32-bit caller: set, get through the alias, the plain 2, EFAULT,
	# ENOTTY and EBADF by way of compat_ptr_ioctl.
	CHECKER=raw-requests-i386
	raw alias
	CHECKER=raw-requests
else
	raw plain
fi

# Unloaded: the node is gone and both sub-commands say so.
check "unload" rmmod flagctl
check "node removed" test ! -e "$NODE"
MISSING="cannot open $NODE: No such file or directory$NL"
expect "show without driver" 1 "$MISSING" show
expect "set without driver" 1 "$USAGE$NL$MISSING" set "$USAGE"

# The board's image: obscure as installed there, round trips of a text
# with bytes above 0x7F and of one that begins with '-', its load address
# randomised, and the host's check of the image's ELF files.
if [ -z "$STEER" ]; then
	round_trip "obscure high bytes" "$(printf 'gr\303\274\303\237e \200\377 ~\177')" \
		'YTY2OTI2OwV6fUR7LlBsanF3Tk90ElRBXAs='
	round_trip "obscure leading dash" '-x9!secret' 'YmZmNTE5Lj4BAHhhLAo/BntVBidbCA=='
	aslr
	image_check
fi

echo "vm-check: $passed passed, $failed failed on Linux $(uname -r) $(uname -m)"
if [ "$failed" != 0 ]; then
	echo "vm-check: last kernel messages:"
	dmesg | tail -n 20
fi
# Lets the console drain before the machine stops; qemu runs with
# -no-reboot, so a restart ends it (MIPS Malta has no power-off here).
sleep 1
reboot -f
