@echo off
rem Removes everything install.cmd registered for this package's module: the classes,
rem their ProgIDs, the interfaces and this module's type library entry; while the module
rem of the other kind stays registered beside it, what the two share stays for it. Run it
rem as an administrator. Exit status: 0 removed; 1 something could not be removed.
setlocal
set "KIND=@KIND@"
set "MODULE=%~dp0kelvutil.dll"
set "WINDOWS64="
if /i "%PROCESSOR_ARCHITECTURE%"=="AMD64" set "WINDOWS64=1"
if /i "%PROCESSOR_ARCHITECTURE%"=="ARM64" set "WINDOWS64=1"
if defined PROCESSOR_ARCHITEW6432 set "WINDOWS64=1"
set "REGSVR=%SystemRoot%\System32\regsvr32.exe"
rem VIEW is the registry view this module registers in; OTHERVIEW the other one, on
rem 64-bit Windows only.
set "VIEW="
set "OTHERVIEW="
set "PLATFORM=win32"
set "OTHER=win64"
if "%KIND%"=="x86" (
  if defined WINDOWS64 (
    if exist "%SystemRoot%\SysWOW64\regsvr32.exe" set "REGSVR=%SystemRoot%\SysWOW64\regsvr32.exe"
    set "VIEW=/reg:32"
    set "OTHERVIEW=/reg:64"
  )
) else (
  if exist "%SystemRoot%\Sysnative\regsvr32.exe" set "REGSVR=%SystemRoot%\Sysnative\regsvr32.exe"
  set "VIEW=/reg:64"
  set "OTHERVIEW=/reg:32"
  set "PLATFORM=win64"
  set "OTHER=win32"
)
rem The ProgIDs, the type library key and the interfaces are shared with the module of
rem the other kind: the ProgIDs and the type library key are one key for both views, and
rem registering the type library writes the interfaces into both. While the other module
rem stays registered, only what is this module's alone goes: its classes, in its view,
rem and its entry below the type library.
set "LIB=TypeLib\@TYPELIB@"
set "ENTRY=%LIB%\@TYPELIB_VERSION@\@TYPELIB_LCID@"
set "OTHER_REGISTERED="
set "RV=%VIEW%"
call :exists "%ENTRY%\%OTHER%"
if defined OTHERVIEW set "RV=%OTHERVIEW%"
if defined OTHERVIEW call :exists "%ENTRY%\%OTHER%"
rem The module removes its classes and ProgIDs (so it runs only when the ProgIDs are to
rem go); what it leaves, or all of it when the module cannot be loaded, goes below.
if not defined OTHER_REGISTERED if exist "%MODULE%" "%REGSVR%" /u /s "%MODULE%"
set "FAILED="
rem :remove and :exists work in the registry view that RV names.
set "RV=%VIEW%"
for %%K in (@CLSID_KEYS@) do call :remove "%%~K"
call :remove "%ENTRY%\%PLATFORM%"
if defined OTHER_REGISTERED goto done
for %%K in (@PROGID_KEYS@) do call :remove "%%~K"
call :remove "%LIB%"
for %%K in (@INTERFACE_KEYS@) do call :remove "%%~K"
if not defined OTHERVIEW goto done
set "RV=%OTHERVIEW%"
for %%K in (@PROGID_KEYS@) do call :remove "%%~K"
call :remove "%LIB%"
for %%K in (@INTERFACE_KEYS@) do call :remove "%%~K"

:done
if defined FAILED (
  echo uninstall: some keys could not be removed; run this from an administrator's command prompt.
  exit /b 1
)
echo uninstall: kelvutil %KIND% @VERSION@ removed.
exit /b 0

:remove
rem Status tests with "if errorlevel": some command interpreters misjudge || after a
rem redirected command.
reg query "HKCR\%~1" %RV% >nul 2>&1
if errorlevel 1 exit /b 0
reg delete "HKCR\%~1" /f %RV% >nul 2>&1
if errorlevel 1 set "FAILED=1"
exit /b 0

:exists
reg query "HKCR\%~1" %RV% >nul 2>&1
if not errorlevel 1 set "OTHER_REGISTERED=1"
exit /b 0
