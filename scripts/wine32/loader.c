/*
 * The 32-bit Wine loader, for running under qemu-i386 user emulation.
 *
 * Debian's 32-bit Wine starts in two steps: wine-preloader reserves the address ranges
 * Windows code needs and then loads `wine`, which loads ntdll.so and calls __wine_main.
 * Under the emulator the preloader cannot run (it is a static program that maps things
 * by hand), so this one program does both jobs, and smooths over three places where
 * qemu 7 behaves unlike a kernel:
 *
 *  1. Address ranges.  loader.ld places two empty sections over 0x10000-0x68000000 and
 *     0x7f000000-0x82000000, so the emulator maps them along with this program before
 *     the stack, ld.so or any library can land there.  main() turns them into
 *     inaccessible reservations and hands the list to ntdll through
 *     wine_main_preload_info, the symbol ntdll looks up for exactly that.  The emulator
 *     also holds the gaps between our segments; main() gives those back, since the system
 *     DLLs want their preferred bases there (ntdll.dll at 0x7bc00000).
 *  2. Fault numbers.  qemu delivers SIGSEGV, SIGBUS, SIGILL, SIGFPE and SIGTRAP with the
 *     trap number -1 in the signal context, while Wine decides from it whether a fault is
 *     a page fault (guard pages, stack growth, write watches), a protection fault or a
 *     breakpoint.  Our sigaction() stands in front of the C library's, so Wine's handlers
 *     for those signals are reached through fix_trap(), which writes the number a kernel
 *     would have given.
 *  3. MAP_FIXED_NOREPLACE.  qemu takes it as a hint and maps elsewhere when the range is
 *     taken; Wine probes for free ranges with it and expects EEXIST.  Left alone, each
 *     failed probe leaks a mapping until the address space is full.  Our mmap64() (what
 *     ntdll maps with) undoes a mapping that did not land where it was asked and fails.
 *
 * Built without the C library's headers and start files, so no 32-bit development
 * package is needed: the few declarations are below and the program links straight
 * against the i386 libc.so.6 (see scripts/wine32/wine32).
 */

#include <stddef.h>

#define PROT_NONE 0
#define MAP_PRIVATE 0x02
#define MAP_FIXED 0x10
#define MAP_ANONYMOUS 0x20
#define MAP_NORESERVE 0x4000
#define MAP_FIXED_NOREPLACE 0x100000
#define MAP_FAILED ((void*)-1)
#define RTLD_NOW 2
#define RTLD_NEXT ((void*)-1)
#define EEXIST 17
#define SA_SIGINFO 4
#define SIGILL 4
#define SIGTRAP 5
#define SIGBUS 7
#define SIGFPE 8
#define SIGSEGV 11

extern void* dlopen(const char* file, int mode);
extern void* dlsym(void* handle, const char* name);
extern char* dlerror(void);
extern void* mmap(void* addr, size_t len, int prot, int flags, int fd, long off);
extern int munmap(void* addr, size_t len);
extern int* __errno_location(void);
extern long readlink(const char* path, char* buf, size_t size);
extern long write(int fd, const void* buf, size_t len);
extern size_t strlen(const char* s);
extern void exit(int status) __attribute__((noreturn));
extern int __sigaction(int sig, const void* act, void* old);
extern int __libc_start_main(int (*main)(int, char**, char**), int argc, char** argv, void (*init)(void),
                             void (*fini)(void), void (*rtld_fini)(void), void* stack_end);

/* The sizes here and the addresses in loader.ld describe the same two ranges. */
__asm__(
    ".section .kelv_low,\"a\",@nobits\n\t.space 0x67ff0000\n"
    ".section .kelv_high,\"a\",@nobits\n\t.space 0x03000000\n"
    ".text");

struct preload_info {
  void* addr;
  size_t size;
};

/* The same list as Wine's own i386 preloader keeps. */
static struct preload_info reserved[] = {
    {(void*)0x00010000, 0x00100000}, /* DOS area */
    {(void*)0x00110000, 0x67ef0000}, /* low memory: PE images, heaps, stacks */
    {(void*)0x7f000000, 0x03000000}, /* top-down allocations, shared heap, user shared data */
    {0, 0}};

__attribute__((visibility("default"))) struct preload_info* wine_main_preload_info = reserved;

/* i386 glibc's struct sigaction; only the handler and the flags are read. */
struct libc_sigaction {
  void* handler;
  unsigned long mask[32];
  int flags;
  void* restorer;
};

struct libc_siginfo {
  int signo, err, code;
  void* addr;
};

typedef void (*handler_t)(int, struct libc_siginfo*, void*);

static handler_t wine_handler[32];

/* A register of the i386 ucontext: uc_mcontext.gregs starts 20 bytes in. */
#define CTX_REG(ctx, n) (((unsigned int*)((char*)(ctx) + 20))[n])
#define REG_TRAPNO 12
#define REG_ERR 13
#define REG_EIP 14

/* The x86 exception a kernel would have reported for this signal. */
static unsigned int trap_number(int sig, const struct libc_siginfo* info, void* ctx) {
  switch (sig) {
    case SIGSEGV:
      if (info->code != 1 && info->code != 2) return 13; /* neither MAPERR nor ACCERR: #GP */
      if ((unsigned int)info->addr == CTX_REG(ctx, REG_EIP)) CTX_REG(ctx, REG_ERR) |= 0x10; /* fetch fault */
      return 14;                                                                            /* #PF */
    case SIGBUS: return info->code == 1 ? 17 : 14;                                          /* BUS_ADRALN: #AC */
    case SIGILL: return 6;                                                                  /* #UD */
    case SIGFPE: return info->code == 1 ? 0 : info->code == 2 ? 4 : 16;                     /* divide, overflow, x87 */
    case SIGTRAP: return info->code == 2 ? 1 : 3; /* TRAP_TRACE: single step; else breakpoint */
  }
  return CTX_REG(ctx, REG_TRAPNO);
}

static void fix_trap(int sig, struct libc_siginfo* info, void* ctx) {
  if (CTX_REG(ctx, REG_TRAPNO) == 0xffffffffu) CTX_REG(ctx, REG_TRAPNO) = trap_number(sig, info, ctx);
  wine_handler[sig](sig, info, ctx);
}

static int is_fault_signal(int sig) {
  return sig == SIGSEGV || sig == SIGBUS || sig == SIGILL || sig == SIGFPE || sig == SIGTRAP;
}

/* Resolved for ntdll and every other library in place of the C library's sigaction. */
__attribute__((visibility("default"))) int sigaction(int sig, const struct libc_sigaction* act,
                                                     struct libc_sigaction* old) {
  struct libc_sigaction wrapped;
  handler_t prev;
  int ret;

  if (sig <= 0 || sig >= 32) return __sigaction(sig, act, old);
  prev = wine_handler[sig];
  if (act && is_fault_signal(sig) && (act->flags & SA_SIGINFO)) {
    wrapped = *act;
    wrapped.handler = (void*)fix_trap;
    wine_handler[sig] = (handler_t)act->handler;
    act = &wrapped;
  } else if (act) {
    wine_handler[sig] = 0;
  }
  ret = __sigaction(sig, act, old);
  if (ret)
    wine_handler[sig] = prev;
  else if (old && old->handler == (void*)fix_trap)
    old->handler = (void*)prev; /* the caller's own */
  return ret;
}

/* Resolved for ntdll in place of the C library's mmap64. */
__attribute__((visibility("default"))) void* mmap64(void* addr, size_t len, int prot, int flags, int fd,
                                                    long long off) {
  static void* (*libc_mmap64)(void*, size_t, int, int, int, long long);
  void* ptr;

  if (!libc_mmap64) libc_mmap64 = dlsym(RTLD_NEXT, "mmap64");
  ptr = libc_mmap64(addr, len, prot, flags, fd, off);
  if ((flags & MAP_FIXED_NOREPLACE) && ptr != MAP_FAILED && ptr != addr) {
    munmap(ptr, len);
    *__errno_location() = EEXIST;
    return MAP_FAILED;
  }
  return ptr;
}

static void fail(const char* what, const char* detail) {
  write(2, "wine32 loader: ", 15);
  write(2, what, strlen(what));
  if (detail) {
    write(2, ": ", 2);
    write(2, detail, strlen(detail));
  }
  write(2, "\n", 1);
  exit(1);
}

int main(int argc, char** argv, char** envp) {
  /* Debian's layout: ntdll.so lies at <bindir>/../i386-linux-gnu/wine/i386-unix/. */
  static const char ntdll[] = "../i386-linux-gnu/wine/i386-unix/ntdll.so";
  char path[4096];
  void* handle;
  void (*wine_main)(int, char**, char**);
  long len;
  int i;

  /* The emulator mapped the reservations as zero pages: make them inaccessible. */
  for (i = 0; reserved[i].size; i++)
    mmap(reserved[i].addr, reserved[i].size, PROT_NONE, MAP_FIXED | MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  /* Give back the gaps around our code at 0x7d000000 (it is far below a megabyte). */
  munmap((void*)0x68000000, 0x7d000000 - 0x68000000);
  munmap((void*)0x7d100000, 0x7f000000 - 0x7d100000);

  len = readlink("/proc/self/exe", path, sizeof(path) - sizeof(ntdll));
  if (len <= 0) fail("cannot find its own path", 0);
  while (len > 0 && path[len - 1] != '/') len--;
  for (i = 0; ntdll[i]; i++) path[len + i] = ntdll[i];
  path[len + i] = 0;

  if (!(handle = dlopen(path, RTLD_NOW))) fail("cannot load ntdll.so", dlerror());
  if (!(wine_main = (void (*)(int, char**, char**))dlsym(handle, "__wine_main"))) fail("no __wine_main in", path);
  wine_main(argc, argv, envp);
  fail("__wine_main returned", 0);
  return 1;
}

/* The entry point: what crt1.o would do, handing main to the C library. */
__asm__(
    ".globl _start\n"
    "_start:\n\t"
    "xorl %ebp, %ebp\n\t"
    "popl %esi\n\t"       /* argc */
    "movl %esp, %ecx\n\t" /* argv */
    "andl $0xfffffff0, %esp\n\t"
    "pushl %eax\n\t"
    "pushl %esp\n\t" /* end of the stack */
    "pushl %edx\n\t" /* ld.so's finalizer */
    "pushl $0\n\t"
    "pushl $0\n\t"
    "pushl %ecx\n\t"
    "pushl %esi\n\t"
    "pushl $main\n\t"
    "call __libc_start_main\n\t"
    "hlt");
