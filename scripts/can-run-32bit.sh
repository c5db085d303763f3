#!/usr/bin/env bash
# Decides whether this machine executes 32-bit x86 code: assembles a static i386 program that
# only exits, and runs it. Some machines refuse all such code ("Exec format error"); there the
# i686 build can be built but not run, and the x86-64 twin takes its place.
# Prints one line saying what it found; exits 0 when 32-bit code runs, 1 when it does not.
# LZF_NO_32BIT=1 forces the answer "no", to exercise that path on any machine.
set -u

if [ "${LZF_NO_32BIT:-0}" = 1 ]; then
  echo "32-bit x86 code: not used (LZF_NO_32BIT=1)"
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '.globl _start\n_start:\n  movl $1, %%eax\n  movl $0, %%ebx\n  int $0x80\n' >"$work/exit.s"
if ! as --32 "$work/exit.s" -o "$work/exit.o" 2>"$work/err" ||
   ! ld -m elf_i386 "$work/exit.o" -o "$work/exit" 2>>"$work/err"; then
  echo "32-bit x86 code: refused (could not build the i386 probe: $(head -1 "$work/err"))"
  exit 1
fi
if timeout 10 "$work/exit" 2>"$work/err"; then
  echo "32-bit x86 code: runs (a static i386 program ran and exited normally)"
  exit 0
fi
rc=$?
reason=$(head -1 "$work/err" | sed -E 's/.*: //')
echo "32-bit x86 code: refused (a static i386 program failed: ${reason:-exit status $rc})"
exit 1
