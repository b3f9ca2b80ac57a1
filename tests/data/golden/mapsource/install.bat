echo off
echo -
echo -
echo -  This batch will install map for Mapsource
echo -
echo -  Map:  "Corpus West"
echo -  FID:  1101
echo -  PID:  1
echo -
echo -  Press Enter to continue or Ctrl-C to abort.
echo -
pause

if exist "%~dp0West.img" goto :INSTREG
echo File missing: West.img, aborting install.
pause
exit 1

:INSTREG
echo Adding registry keys.

set KEY=HKLM\SOFTWARE\Wow6432Node\Garmin\MapSource
if %PROCESSOR_ARCHITECTURE% == AMD64 goto key_ok
set KEY=HKLM\SOFTWARE\Garmin\MapSource
:key_ok

reg ADD %KEY%\Families\FAMILY_1101 /v ID /t REG_BINARY /d 4D04 /f
if exist "%~dp0West_mdr.img" (
	reg ADD %KEY%\Families\FAMILY_1101 /v IDX /t REG_SZ /d "%~dp0West.mdx" /f
	reg ADD %KEY%\Families\FAMILY_1101 /v MDR /t REG_SZ /d "%~dp0West_mdr.img" /f
)
reg ADD %KEY%\Families\FAMILY_1101 /v TYP /t REG_SZ /d "%~dp0WEST1101.TYP" /f
reg ADD %KEY%\Families\FAMILY_1101\1 /v Loc /t REG_SZ /d "%~dp0\" /f
reg ADD %KEY%\Families\FAMILY_1101\1 /v Bmap /t REG_SZ /d "%~dp0West.img" /f
reg ADD %KEY%\Families\FAMILY_1101\1 /v Tdb /t REG_SZ /d "%~dp0West.tdb" /f
pause
exit 0
