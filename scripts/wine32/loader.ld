/* Added to the default i386 linker script (INSERT): the two address ranges loader.c
   reserves for Windows.  The one-page .kelv_pad puts the lowest segment at 0xf000, so
   the emulator maps the reservations along with the program, before anything else. */
SECTIONS
{
  .kelv_pad 0xf000 + SIZEOF_HEADERS : { BYTE(0); . = 0x1000 - SIZEOF_HEADERS; }
  .kelv_low 0x10000 (NOLOAD) : { *(.kelv_low) }
  .kelv_high 0x7f000000 (NOLOAD) : { *(.kelv_high) }
}
INSERT AFTER .bss;
