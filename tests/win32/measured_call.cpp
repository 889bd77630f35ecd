// The two i386 thunks of measured_call.h, one with unwind information and one without. EBP stays the
// thunk's frame pointer (the unwinder finds the frame through it), so its check is that the callee gives
// back the value it got.
#include "win32/measured_call.h"

#define SD_WITH_CFI(text) text
#define SD_WITHOUT_CFI(text)

#define SD_MEASURED_CALL(NAME, CFI)                                    \
  ".text\n.globl " NAME "\n" NAME ":\n" CFI(".cfi_startproc\n")        \
  "pushl %ebp\n" CFI(".cfi_def_cfa_offset 8\n.cfi_offset %ebp, -8\n") \
  "movl %esp, %ebp\n" CFI(".cfi_def_cfa_register %ebp\n")             \
  "pushl %ebx\n" CFI(".cfi_offset %ebx, -12\n")                       \
  "pushl %esi\n" CFI(".cfi_offset %esi, -16\n")                       \
  "pushl %edi\n" CFI(".cfi_offset %edi, -20\n")                       \
  "movl 16(%ebp), %ecx\n"                                              \
  "subl %ecx, %esp\n"                                                  \
  "movl 12(%ebp), %esi\n"                                              \
  "movl %esp, %edi\n"                                                  \
  "cld\n"                                                              \
  "rep movsb\n"                                                        \
  "movl 20(%ebp), %ecx\n"                                              \
  "movl %esp, 0(%ecx)\n"                                               \
  "movl %ebp, 4(%ecx)\n"                                               \
  "movl $0xB1B1B1B1, %ebx\n"                                           \
  "movl $0x51515151, %esi\n"                                           \
  "movl $0xD1D1D1D1, %edi\n"                                           \
  "call *8(%ebp)\n"                                                    \
  "movl 20(%ebp), %ecx\n"                                              \
  "movl %esp, 8(%ecx)\n"                                               \
  "movl %ebp, 12(%ecx)\n"                                              \
  "movl %ebx, 16(%ecx)\n"                                              \
  "movl %esi, 20(%ecx)\n"                                              \
  "movl %edi, 24(%ecx)\n"                                              \
  "movl %eax, 28(%ecx)\n"                                              \
  "leal -12(%ebp), %esp\n"                                             \
  "popl %edi\n"                                                        \
  "popl %esi\n"                                                        \
  "popl %ebx\n"                                                        \
  "popl %ebp\n" CFI(".cfi_def_cfa %esp, 4\n")                         \
  "ret\n" CFI(".cfi_endproc\n")

__asm__(SD_MEASURED_CALL("sd_measured_call", SD_WITH_CFI));
__asm__(SD_MEASURED_CALL("sd_bare_measured_call", SD_WITHOUT_CFI));
