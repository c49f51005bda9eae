/* Exports for tools/check-stdcall-returns.py to judge: names starting with good_ must pass,
   names starting with bad_ must each be reported. Built as an i686 DLL by
   check-stdcall-returns-test.sh. */
    .text

    .globl _good_plain@8
_good_plain@8:
    movl 4(%esp), %eax
    addl 8(%esp), %eax
    ret $8

    .globl _good_noargs@0
_good_noargs@0:
    xorl %eax, %eax
    ret

    /* Two returns, both right. */
    .globl _good_two@4
_good_two@4:
    cmpl $0, 4(%esp)
    je 1f
    movl $1, %eax
    ret $4
1:  xorl %eax, %eax
    ret $4

    /* Leaves through a jump to an epilogue placed after another function. */
    .globl _good_shared@12
_good_shared@12:
    movl 4(%esp), %eax
    testl %eax, %eax
    jne shared_epilogue_12
    call helper
    jmp shared_epilogue_12

    /* A switch through a jump table; every case reaches the same epilogue. */
    .globl _good_switch@4
_good_switch@4:
    movl 4(%esp), %eax
    cmpl $2, %eax
    ja 3f
    jmp *table(,%eax,4)
4:  movl $10, %eax
    jmp 3f
5:  movl $20, %eax
    jmp 3f
6:  movl $30, %eax
3:  ret $4

    /* A cdecl body behind a stdcall name: the caller's 8 bytes stay on the stack. */
    .globl _bad_cdecl@8
_bad_cdecl@8:
    movl 4(%esp), %eax
    ret

    /* One of two returns pops the wrong count. */
    .globl _bad_second@8
_bad_second@8:
    cmpl $0, 4(%esp)
    je 1f
    ret $8
1:  ret $4

    /* The only return is in a shared epilogue far away, and it pops too much. */
    .globl _bad_shared@4
_bad_shared@4:
    movl 4(%esp), %eax
    jmp shared_epilogue_12

    /* The wrong pop is in a case reached only through the jump table. */
    .globl _bad_switch@4
_bad_switch@4:
    movl 4(%esp), %eax
    jmp *table2(,%eax,4)
7:  ret $4
8:  ret $8

helper:
    ret

shared_epilogue_12:
    xorl %eax, %eax
    ret $12

    .section .rdata
table:
    .long 4b, 5b, 6b
table2:
    .long 7b, 8b
