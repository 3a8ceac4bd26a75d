#!/bin/sh
# Fails if the 32-bit PROGRAM holds an instruction that came after the 80486:
# Windows 95, 98 and NT 4 run on 486s, Pentiums, K5/K6 and 6x86s, where such
# an instruction stops the program with an invalid-opcode fault. The whole
# program is read, its start-up and anything linked from the compiler's
# libraries included.
# Usage: instructions.sh OBJDUMP PROGRAM
set -u
listing=$("$1" -d --no-show-raw-insn "$2") || { echo "cannot disassemble $2"; exit 1; }
echo "$listing" | grep -q 'file format pei-i386' || { echo "not a 32-bit program: $2"; exit 1; }

# Pentium: cmpxchg8b rdtsc rdmsr wrmsr rdpmc cpuid rsm; P6: cmov* fcmov* fcomi*
# fucomi* ud2 sysenter sysexit and the long nops (nopw/nopl); MMX and 3DNow!
# (mm registers, emms, femms, pf*); SSE and later (xmm/ymm registers, mxcsr,
# fences, prefetches, non-temporal moves, fxsave); BMI and later.
post486='(cmpxchg8b|rdtscp?|rdmsr|wrmsr|rdpmc|cpuid|rsm|cmov[a-z]*|fcmov[a-z]*|f(u)?comip?|ud2|sysenter|sysexit|syscall|sysret|nop[wl]|emms|femms|pf[a-z0-9]+|pi2f[dw]|ldmxcsr|stmxcsr|[lms]fence|prefetch[a-z0-9]*|movnt[a-z]*|clflush[a-z]*|fxsave|fxrstor|fisttp[a-z]*|tzcnt|lzcnt|popcnt|andn|bextr|blsi|blsmsk|blsr|[sr]orx|shlx|shrx|sarx|crc32|movbe|rdrand|rdseed|xgetbv|xsave[a-z]*)'
found=$(echo "$listing" | awk -F'\t' 'NF >= 2 {print $1 "\t" $2}' |
	grep -E "	($post486)( |\$)|%(x|y|z)mm[0-9]|%mm[0-7]" )
if [ -n "$found" ]; then
	echo "$found" | head -20
	echo "$(echo "$found" | wc -l) instructions the 80486 does not have"
	exit 1
fi
echo "no instruction past the 80486 in $(echo "$listing" | grep -c '	') lines"
