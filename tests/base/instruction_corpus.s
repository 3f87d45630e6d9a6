# Instructions whose encodings the i686 assembler produces at build time. Each entry is its
# length byte, its source text (zero-terminated) and its bytes; the test decodes every entry
# and compares the lengths. Every entry here is a defined encoding.
.macro insn text:vararg
  .byte 2f - 1f
  .asciz "\text"
1: \text
2:
.endm

.data
.globl corpus_start
corpus_start:
# Function prologues and epilogues.
insn movl %edi, %edi
insn pushl %ebp
insn movl %esp, %ebp
insn subl $0x10, %esp
insn subl $0x1000, %esp
insn andl $-8, %esp
insn popl %ebp
insn leave
insn ret
insn ret $8
insn lret
insn lret $4
insn iret
insn enter $16, $1
insn nop
insn int3
insn int $0x2e
insn into
insn hlt
insn cpuid
insn rdtsc
# Arithmetic forms, all operand shapes.
insn addl %eax, %ebx
insn addl (%eax), %ebx
insn addl %ebx, (%eax)
insn addb %al, (%ecx)
insn addb (%ecx), %dl
insn addb $1, %al
insn addl $0x12345678, %eax
insn addw $0x1234, %ax
insn addl $0x12345678, %ecx
insn addl $1, %ecx
insn addb $1, (%esi)
insn orl 8(%ebp), %eax
insn adcl -4(%ebp), %eax
insn sbbl 0x1000(%ebp), %eax
insn andl 0x12345678, %eax
insn subl (%esp), %eax
insn xorl 4(%esp), %eax
insn cmpl 0x400(%esp), %eax
insn cmpl $0, 8(%ebp)
insn cmpw $0x1234, (%eax)
insn cmpb $0x7f, 0x12345678(,%ecx,4)
insn testl %eax, %eax
insn testb $1, %al
insn testl $0x10000, %eax
insn testb $1, 4(%ebx)
insn testl $0x12345678, 4(%ebx)
insn testw $0x1234, 4(%ebx)
insn notl %eax
insn negl (%ebx)
insn mull %ecx
insn imull %ecx
insn divl 8(%ebp)
insn idivb %cl
insn imull $10, %eax, %ecx
insn imull $1000, %eax, %ecx
insn imulw $1000, %ax, %cx
insn imull 8(%ebp), %eax
insn incl %eax
insn decl %ecx
insn incb (%eax)
insn decw 2(%eax)
insn incl (%eax,%ebx,2)
insn leal 8(%ebp), %eax
insn leal (%eax,%ebx,8), %ecx
insn leal 0x100(,%ebx,4), %ecx
insn leal (%esp), %eax
insn leal 0(%ebp), %eax
insn leal (%eax,%ebp), %eax
insn movl 0x12345678(%eax,%ebx,4), %edx
insn movl (,%eax,4), %edx
insn movl %fs:0, %eax
insn movl %fs:0x18, %eax
insn movl %gs:(%eax), %eax
insn movw %ax, %es:(%edi)
insn addr16 movl (%bx,%si), %eax
insn addr16 movl 0x12(%bp), %eax
insn addr16 movl 0x1234(%bp,%di), %eax
insn addr16 movl 0x1234, %eax
insn movl $0x12345678, %eax
insn movw $0x1234, %ax
insn movb $0x12, %al
insn movl $0x12345678, (%eax)
insn movl $0x12345678, 0x12345678(%eax,%ebx,4)
insn movw $0x1234, 0x12(%eax)
insn movb $0x12, 0x12345678
insn movl 0x12345678, %eax
insn movl %eax, 0x12345678
insn movw 0x12345678, %ax
insn movb 0x12345678, %al
insn addr16 movl 0x1234, %eax
insn addr16 movb %al, 0x1234
insn movl %es, %eax
insn movw %ds, (%eax)
insn movw %ax, %ds
insn movl %eax, %ss
insn movzbl %al, %eax
insn movzwl (%eax), %eax
insn movsbl 4(%esp), %eax
insn movswl %ax, %ecx
insn xchgl %eax, %ecx
insn xchgl %ecx, (%edx)
insn cmovel %ecx, %eax
insn cmovgl (%ecx), %eax
insn sete %al
insn setne (%eax)
insn bswap %eax
insn pushl $0x12345678
insn pushl $1
insn pushw $0x1234
insn pushl 8(%ebp)
insn popl (%eax)
insn pushl %fs
insn popl %gs
insn pushl %es
insn popl %ds
insn pusha
insn popa
insn pushf
insn popf
insn lahf
insn sahf
insn cwtl
insn cltd
insn cbtw
insn xlat
insn daa
insn aaa
insn aam
insn aad $0x10
insn aam $0x10
insn bound %eax, (%ecx)
insn arpl %ax, (%ecx)
insn les (%eax), %ecx
insn lds 4(%eax), %ecx
insn lss (%eax), %ecx
insn lfs (%eax), %ecx
insn lgs (%eax), %ecx
# Shifts and bit operations.
insn shll $3, %eax
insn shrl %eax
insn sarl %cl, %eax
insn roll $1, (%eax)
insn rorb $4, 8(%ebp)
insn rcll $2, %eax
insn shldl $4, %eax, %ebx
insn shrdl %cl, %eax, (%ebx)
insn btl %eax, (%ebx)
insn btsl $3, (%ebx)
insn btrl %ecx, %eax
insn btcl $31, 4(%eax)
insn bsfl %eax, %ecx
insn bsrl (%eax), %ecx
insn popcntl %eax, %ecx
insn tzcntl %eax, %ecx
insn lzcntl %eax, %ecx
# String instructions and prefixes.
insn rep movsb
insn rep movsl
insn rep stosl
insn repne scasb
insn repe cmpsb
insn lodsl
insn insb (%dx), %es:(%edi)
insn outsl %ds:(%esi), (%dx)
insn inb $0x60, %al
insn outl %eax, $0x80
insn inl (%dx), %eax
# LOCK with memory operands.
insn lock addl $1, (%eax)
insn lock addl %eax, (%ecx)
insn lock orb $1, (%eax)
insn lock adcl %eax, (%ecx)
insn lock sbbl %eax, (%ecx)
insn lock andl $0x12345678, (%eax)
insn lock subl %eax, 8(%ebp)
insn lock xorl %eax, (%ecx)
insn lock incl (%eax)
insn lock decl (%eax)
insn lock notl (%eax)
insn lock negl (%eax)
insn lock xchgl %eax, (%ecx)
insn lock btsl %eax, (%ecx)
insn lock btrl $1, (%ecx)
insn lock btcl %eax, (%ecx)
insn lock cmpxchgl %ecx, (%edx)
insn lock cmpxchgb %cl, (%edx)
insn lock xaddl %ecx, (%edx)
insn lock cmpxchg8b (%esi)
# Branches.
insn jmp .+0x10
insn jmp .+0x1000
insn {disp32} jmp .+0x10
insn je .+0x10
insn jne .-0x10
insn jo .+0x1000
insn {disp32} jg .+0x10
insn jecxz .+5
insn jcxz .+5
insn loop .+5
insn loope .+5
insn loopne .+5
insn call .+0x1000
insn call *%eax
insn call *8(%ebp)
insn call *0x12345678
insn call *0x12345678(,%eax,4)
insn jmp *%eax
insn jmp *(%eax)
insn jmp *0x12345678
insn lcall $0x10, $0x12345678
insn ljmp $0x10, $0x12345678
insn lcall *(%eax)
insn ljmp *8(%ebp)
insn data16 lcall $0x10, $0x1234
insn data16 call .+0x100
insn xbegin .+0x20
insn xabort $1
insn xend
# Multi-byte no-ops and hints.
insn nopl (%eax)
insn nopl 0(%eax)
insn nopl 0(%eax,%eax,1)
insn nopw 0(%eax,%eax,1)
insn nopl 0x12345678(%eax)
insn nopw %cs:0x12345678(%eax,%eax,1)
insn .byte 0x66, 0x66, 0x2e, 0x0f, 0x1f, 0x84, 0, 0x78, 0x56, 0x34, 0x12
insn pause
insn endbr32
insn prefetchnta (%eax)
insn prefetcht0 8(%eax)
insn prefetchw (%eax)
# System instructions.
insn sgdt (%eax)
insn sidt (%eax)
insn lgdt (%eax)
insn lidt (%eax)
insn sldt %eax
insn str %eax
insn lldt %ax
insn ltr %ax
insn verr %ax
insn verw (%eax)
insn smsw %eax
insn lmsw %ax
insn invlpg (%eax)
insn lar %eax, %ecx
insn lsl (%eax), %ecx
insn clts
insn invd
insn wbinvd
insn rdmsr
insn wrmsr
insn rdpmc
insn sysenter
insn sysexit
insn rsm
insn monitor
insn mwait
insn xgetbv
insn rdtscp
insn movl %cr0, %eax
insn movl %eax, %cr3
insn movl %cr4, %eax
insn movl %dr7, %eax
insn movl %eax, %dr0
insn rdrand %eax
insn rdseed %eax
insn fxsave (%eax)
insn fxrstor (%eax)
insn ldmxcsr 4(%esp)
insn stmxcsr 4(%esp)
insn xsave (%eax)
insn xrstor (%eax)
insn clflush (%eax)
insn lfence
insn mfence
insn sfence
# x87.
insn fld1
insn fldz
insn fldpi
insn fldl2e
insn fldln2
insn fchs
insn fabs
insn ftst
insn fxam
insn fnop
insn fsqrt
insn fsin
insn fcos
insn fsincos
insn fptan
insn fpatan
insn fprem
insn fprem1
insn frndint
insn fscale
insn f2xm1
insn fyl2x
insn fyl2xp1
insn fxtract
insn fdecstp
insn fincstp
insn flds (%eax)
insn fldl 8(%ebp)
insn fldt (%eax)
insn fsts (%eax)
insn fstpl (%eax)
insn fstpt (%eax)
insn fildl (%eax)
insn fildll (%eax)
insn filds (%eax)
insn fistl (%eax)
insn fistpll (%eax)
insn fisttpl (%eax)
insn fisttpll (%eax)
insn fisttps (%eax)
insn fbld (%eax)
insn fbstp (%eax)
insn fldcw (%eax)
insn fnstcw (%eax)
insn fldenv (%eax)
insn fnstenv (%eax)
insn frstor (%eax)
insn fnsave (%eax)
insn fnstsw (%eax)
insn fnstsw %ax
insn fnclex
insn fninit
insn fld %st(1)
insn fxch %st(2)
insn fst %st(3)
insn fstp %st(4)
insn ffree %st(1)
insn ffreep %st(1)
insn fucom %st(1)
insn fucomp %st(1)
insn fucompp
insn fcompp
insn fucomi %st(1), %st
insn fcomi %st(1), %st
insn fucomip %st(1), %st
insn fcomip %st(1), %st
insn fcmovb %st(1), %st
insn fcmove %st(1), %st
insn fcmovbe %st(1), %st
insn fcmovu %st(1), %st
insn fcmovnb %st(1), %st
insn fcmovne %st(1), %st
insn fcmovnbe %st(1), %st
insn fcmovnu %st(1), %st
insn fadd %st(1), %st
insn fadd %st, %st(1)
insn faddp %st, %st(1)
insn fmulp %st, %st(1)
insn fsubp %st, %st(1)
insn fdivrp %st, %st(1)
insn fcom %st(1)
insn fcomp %st(1)
insn fadds (%eax)
insn fmull 8(%eax)
insn fiaddl (%eax)
insn fimuls (%eax)
insn ficoml (%eax)
insn fdivrl (%eax)
insn fwait
# MMX, SSE, SSE2, SSE3, 3DNow!.
insn emms
insn femms
insn movd %eax, %mm0
insn movd %mm0, (%eax)
insn movq %mm1, %mm0
insn movq (%eax), %mm0
insn paddb %mm1, %mm0
insn pmullw (%eax), %mm0
insn psrlw $3, %mm0
insn psrad $3, %mm0
insn psllq $3, %mm0
insn psadbw %mm1, %mm0
insn pshufw $0x1b, %mm1, %mm0
insn pinsrw $1, %eax, %mm0
insn pextrw $1, %mm0, %eax
insn pmovmskb %mm0, %eax
insn maskmovq %mm1, %mm0
insn movntq %mm0, (%eax)
insn pfadd %mm1, %mm0
insn pfmul 8(%eax), %mm0
insn movups (%eax), %xmm0
insn movups %xmm0, (%eax)
insn movaps %xmm1, %xmm0
insn movss (%eax), %xmm0
insn movsd 8(%esp), %xmm0
insn movupd %xmm1, %xmm0
insn movlps (%eax), %xmm0
insn movlps %xmm0, (%eax)
insn movhlps %xmm1, %xmm0
insn movlhps %xmm1, %xmm0
insn movhps (%eax), %xmm0
insn movlpd (%eax), %xmm0
insn movhpd %xmm0, (%eax)
insn movsldup %xmm1, %xmm0
insn movshdup %xmm1, %xmm0
insn movddup %xmm1, %xmm0
insn unpcklps %xmm1, %xmm0
insn movntps %xmm0, (%eax)
insn cvtsi2ss %eax, %xmm0
insn cvtsi2sd (%eax), %xmm0
insn cvttss2si %xmm0, %eax
insn cvtsd2si %xmm0, %eax
insn cvtpi2ps %mm0, %xmm0
insn ucomiss %xmm1, %xmm0
insn comisd (%eax), %xmm0
insn movmskps %xmm0, %eax
insn movmskpd %xmm0, %eax
insn sqrtps %xmm1, %xmm0
insn sqrtsd %xmm1, %xmm0
insn rsqrtss %xmm1, %xmm0
insn rcpps %xmm1, %xmm0
insn andps %xmm1, %xmm0
insn xorpd %xmm1, %xmm0
insn addps %xmm1, %xmm0
insn mulsd (%eax), %xmm0
insn cvtps2pd %xmm1, %xmm0
insn cvtdq2ps %xmm1, %xmm0
insn cvttps2dq %xmm1, %xmm0
insn subss %xmm1, %xmm0
insn minpd %xmm1, %xmm0
insn divsd %xmm1, %xmm0
insn maxss %xmm1, %xmm0
insn punpcklbw %xmm1, %xmm0
insn punpcklqdq %xmm1, %xmm0
insn punpckhqdq %xmm1, %xmm0
insn movd %eax, %xmm0
insn movd %xmm0, %eax
insn movq (%eax), %xmm0
insn movq %xmm0, (%eax)
insn movdqa (%eax), %xmm0
insn movdqu %xmm0, (%eax)
insn pshufd $0x1b, %xmm1, %xmm0
insn pshufhw $0x1b, %xmm1, %xmm0
insn pshuflw $0x1b, %xmm1, %xmm0
insn psrldq $4, %xmm0
insn pslldq $4, %xmm0
insn psrlq $4, %xmm0
insn pcmpeqb %xmm1, %xmm0
insn haddps %xmm1, %xmm0
insn hsubpd %xmm1, %xmm0
insn cmpps $1, %xmm1, %xmm0
insn cmpsd $1, (%eax), %xmm0
insn movnti %eax, (%ecx)
insn pinsrw $1, %eax, %xmm0
insn pextrw $1, %xmm0, %eax
insn shufps $0x1b, %xmm1, %xmm0
insn addsubps %xmm1, %xmm0
insn addsubpd %xmm1, %xmm0
insn movq2dq %mm0, %xmm0
insn movdq2q %xmm0, %mm0
insn pmovmskb %xmm0, %eax
insn cvttpd2dq %xmm1, %xmm0
insn cvtdq2pd %xmm1, %xmm0
insn cvtpd2dq %xmm1, %xmm0
insn movntdq %xmm0, (%eax)
insn lddqu (%eax), %xmm0
insn maskmovdqu %xmm1, %xmm0
insn psubq %xmm1, %xmm0
insn pmuludq (%eax), %xmm0
insn paddd 0x12345678(%eax,%ebx,4), %xmm0
insn movaps %xmm0, %ds:0x12345678(%eax,%ebx,4)
.globl corpus_end
corpus_end:
# A zero length ends the list (the section may be padded after it).
.byte 0
