#!/bin/sh
# Scans a DLL's disassembly for vector moves that fault on a Windows stack.
#   check-vector-moves.sh OBJDUMP DLL
# Windows aligns the stack to 16 bytes on x64 and to 4 on x86, while an
# aligned move (movaps, movdqa, vmovdqa64, ...) faults on an address that is
# not a multiple of its width. So the DLL must hold
#   - no aligned 32- or 64-byte move addressing the stack (GCC PR 54412:
#     mingw-w64 GCC may spill AVX registers that way), and
#   - on x86, SSE instructions whose 16-byte stack operand must be aligned
#     only in functions that first align the stack pointer themselves.
# Prints what it counted; exits 1 when it finds any such move.
set -eu
objdump="$1"
dll="$2"
"$objdump" -d --no-show-raw-insn "$dll" | awk '
  # Instructions of x86 SSE (no VEX there) whose memory operand may have any
  # alignment: unaligned and partial moves, scalar arithmetic; every other
  # one with a 16-byte memory operand needs it aligned to 16.
  function unaligned_ok(m) {
    return m ~ /^(movups|movupd|movdqu|lddqu|movd|movq|movlps|movhps|movlpd|movhpd|pextr[bwdq]|pinsr[bwdq]|cvtt?s[sd]2si|cvtsi2s[sd]l?|[a-oq-z][a-z]*s[sd])$/
  }
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
    } else if (insn ~ /%xmm/ && stack && insn ~ /%e(sp|bp)/ && !unaligned_ok(mnemonic)) {
      narrow_stack++
      if (!realigned) { bad++; print "aligned 16-byte stack operand without realignment in " function_name ": " insn }
    }
  }
  END {
    printf "%d moves of 32- or 64-byte vectors with a memory operand, %d of them on the stack\n", wide, wide_stack
    if (narrow_stack) printf "%d x86 instructions with a 16-byte stack operand that must be aligned\n", narrow_stack
    if (bad) { printf "%d of them can fault on a Windows stack\n", bad; exit 1 }
    print "none of them can fault on a Windows stack"
  }'
