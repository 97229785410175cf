@echo off
rem Registers kelvutil.dll, the module in this folder, so that scripts can create
rem Kelvarin.Image, Kelvarin.BinaryRW and Kelvarin.Info. Run it as an administrator.
rem Exit status: 0 registered; 1 registration failed; 2 this package does not fit here.
setlocal
set "KIND=@KIND@"
set "MODULE=%~dp0kelvutil.dll"
if not exist "%MODULE%" (
  echo install: "%MODULE%" is missing; unpack the whole package and run install.cmd from it.
  exit /b 2
)
set "WINDOWS64="
if /i "%PROCESSOR_ARCHITECTURE%"=="AMD64" set "WINDOWS64=1"
if /i "%PROCESSOR_ARCHITECTURE%"=="ARM64" set "WINDOWS64=1"
if defined PROCESSOR_ARCHITEW6432 set "WINDOWS64=1"
set "REGSVR=%SystemRoot%\System32\regsvr32.exe"
if "%KIND%"=="x86" (
  rem On 64-bit Windows a 32-bit module is registered by the 32-bit regsvr32, in the
  rem 32-bit view of the registry that 32-bit application pools read.
  if defined WINDOWS64 if exist "%SystemRoot%\SysWOW64\regsvr32.exe" set "REGSVR=%SystemRoot%\SysWOW64\regsvr32.exe"
) else (
  if not defined WINDOWS64 (
    echo install: this is the 64-bit module and this Windows is 32-bit; use the x86 package.
    exit /b 2
  )
  rem A 32-bit command prompt sees the 32-bit System32; Sysnative reaches the 64-bit one.
  if exist "%SystemRoot%\Sysnative\regsvr32.exe" set "REGSVR=%SystemRoot%\Sysnative\regsvr32.exe"
)
"%REGSVR%" /s "%MODULE%"
set "RC=%ERRORLEVEL%"
if not "%RC%"=="0" (
  echo install: registering "%MODULE%" with "%REGSVR%" failed ^(exit status %RC%^).
  echo install: run this from an administrator's command prompt, and check that the file is not blocked.
  exit /b 1
)
echo install: kelvutil %KIND% @VERSION@ registered from "%MODULE%".
exit /b 0
