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
rem The module removes its classes and ProgIDs; when it cannot be loaded, the keys go below.
if exist "%MODULE%" "%REGSVR%" /u /s "%MODULE%"
set "FAILED="
rem :remove and :exists work in the registry view that RV names.
set "RV=%VIEW%"
for %%K in (@CLASS_KEYS@) do call :remove "%%~K"
rem The type library key and the interfaces are shared with the module of the other
rem kind (registering the type library writes the interfaces into both views): this
rem module's entry goes, and the rest once the other module is not registered either.
set "LIB=TypeLib\@TYPELIB@"
set "ENTRY=%LIB%\@TYPELIB_VERSION@\@TYPELIB_LCID@"
call :remove "%ENTRY%\%PLATFORM%"
set "OTHER_REGISTERED="
call :exists "%ENTRY%\%OTHER%"
if defined OTHERVIEW set "RV=%OTHERVIEW%"
if defined OTHERVIEW call :exists "%ENTRY%\%OTHER%"
if defined OTHER_REGISTERED goto done
set "RV=%VIEW%"
call :remove "%LIB%"
for %%K in (@INTERFACE_KEYS@) do call :remove "%%~K"
if not defined OTHERVIEW goto done
set "RV=%OTHERVIEW%"
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
