@echo off
rem Removes everything install.cmd registered for this package's module: the classes,
rem their ProgIDs, the interfaces and this module's type library entry. Run it as an
rem administrator. Exit status: 0 removed; 1 something could not be removed.
setlocal
set "KIND=@KIND@"
set "MODULE=%~dp0kelvutil.dll"
set "WINDOWS64="
if /i "%PROCESSOR_ARCHITECTURE%"=="AMD64" set "WINDOWS64=1"
if /i "%PROCESSOR_ARCHITECTURE%"=="ARM64" set "WINDOWS64=1"
if defined PROCESSOR_ARCHITEW6432 set "WINDOWS64=1"
set "REGSVR=%SystemRoot%\System32\regsvr32.exe"
set "VIEW="
set "PLATFORM=win32"
set "OTHER=win64"
if "%KIND%"=="x86" (
  if defined WINDOWS64 (
    if exist "%SystemRoot%\SysWOW64\regsvr32.exe" set "REGSVR=%SystemRoot%\SysWOW64\regsvr32.exe"
    set "VIEW=/reg:32"
  )
) else (
  if exist "%SystemRoot%\Sysnative\regsvr32.exe" set "REGSVR=%SystemRoot%\Sysnative\regsvr32.exe"
  set "VIEW=/reg:64"
  set "PLATFORM=win64"
  set "OTHER=win32"
)
rem The module removes its classes and ProgIDs; when it cannot be loaded, the keys go below.
if exist "%MODULE%" "%REGSVR%" /u /s "%MODULE%"
set "FAILED="
for %%K in (@CLASS_KEYS@) do call :remove "%%~K"
for %%K in (@INTERFACE_KEYS@) do call :remove "%%~K"
rem The type library key is shared by the 32-bit and the 64-bit module: only this
rem module's entry goes, and the key itself once neither module is registered.
set "LIB=TypeLib\@TYPELIB@"
call :remove "%LIB%\@TYPELIB_VERSION@\0\%PLATFORM%"
reg query "HKCR\%LIB%\@TYPELIB_VERSION@\0\%OTHER%" %VIEW% >nul 2>&1 || call :remove "%LIB%"
if defined FAILED (
  echo uninstall: some keys could not be removed; run this from an administrator's command prompt.
  exit /b 1
)
echo uninstall: kelvutil %KIND% @VERSION@ removed.
exit /b 0

:remove
reg query "HKCR\%~1" %VIEW% >nul 2>&1 || exit /b 0
reg delete "HKCR\%~1" /f %VIEW% >nul 2>&1 || set "FAILED=1"
exit /b 0
