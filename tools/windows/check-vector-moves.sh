#!/bin/sh
# Scans a DLL's disassembly for vector moves that fault on a Windows stack.
#   check-vector-moves.sh OBJDUMP DLL
# Windows aligns the stack to 16 bytes on x64 and to 4 on x86, while an
# aligned move (movaps, movdqa, vmovdqa64, ...) faults on an address that is
# not a multiple of its width. So the DLL must hold
#   - no aligned 32- or 64-byte move addressing the stack (GCC PR 54412:
#     mingw-w64 GCC may spill AVX registers that way), and
#   - on x86, aligned 16-byte moves addressing the stack only in functions
#     that first align the stack pointer themselves.
# Prints what it counted; exits 1 when it finds any such move.
set -eu
objdump="$1"
dll="$2"
"$objdump" -d --no-show-raw-insn "$dll" | awk '
  /^[0-9a-f]+ <.*>:$/ { function_name = $2; sub(/:$/, "", function_name); realigned = 0; next }
  # and $-16 (or -32, -64) applied to the stack pointer
  /\tand +\$0xf+[ce]?0,%[er]sp$/ { realigned = 1 }
  {
    split($0, parts, "\t")
    insn = parts[2]
    mnemonic = insn
    sub(/ .*/, "", mnemonic)
    if (insn !~ /\(/) next                                 # no memory operand
    stack = insn ~ /\(%[er](sp|bp)[,)]/
    aligned = mnemonic ~ /^v?mov(aps|apd|dqa|dqa32|dqa64|ntps|ntpd|ntdq|ntdqa)$/
    if (insn ~ /%[yz]mm/) {
      wide++
      if (stack) wide_stack++
      if (aligned && stack) { bad++; print "aligned wide stack move in " function_name ": " insn }
    } else if (insn ~ /%xmm/ && aligned && stack && insn ~ /%e(sp|bp)/) {
      narrow_stack++
      if (!realigned) { bad++; print "aligned 16-byte stack move without realignment in " function_name ": " insn }
    }
  }
  END {
    printf "%d moves of 32- or 64-byte vectors with a memory operand, %d of them on the stack\n", wide, wide_stack
    if (narrow_stack) printf "%d aligned 16-byte moves on the stack of x86 functions\n", narrow_stack
    if (bad) { printf "%d moves that can fault on a Windows stack\n", bad; exit 1 }
    print "none of them can fault on a Windows stack"
  }'
