; TesselSetup.exe: installs the watchdog and the firmware updater with the
; files they find beside themselves and Qt's DLLs into Program Files, starts
; the watchdog at every user's logon, and leaves an uninstaller that ends the
; running watchdog and removes exactly what was installed.
;
; Built by the Windows build (installer/CMakeLists.txt):
;   makensis -DBIN=<build>/bin -DOUTFILE=<...>/TesselSetup.exe -DVERSION=1.0.0 TesselSetup.nsi

!ifndef BIN | OUTFILE | VERSION
  !error "BIN, OUTFILE and VERSION must be defined"
!endif

!include "LogicLib.nsh"
!include "WinMessages.nsh"

Unicode true
Target amd64-unicode
Name "Tessel"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Brivara\Tessel"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "Tessel"
VIAddVersionKey "FileDescription" "Tessel document camera software"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Brivara"

!define WATCHDOG "tesselwatchdogapplication.exe"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "TesselWatchdog"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessel"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Ends every running watchdog. It is asked the way the session asks it at
; log-off (its session window gets WM_ENDSESSION), so it ends cleanly and
; starts no fresh copy of itself; whatever is still running after that (a
; copy in another session, or one that does not answer) is ended by force,
; which does not start a fresh copy either.
!macro EndWatchdog un
Function ${un}EndWatchdog
  StrCpy $1 0
  ${Do}
    FindWindow $0 "TesselSessionEndWindow" ""
    ${If} $0 = 0
    ${OrIf} $1 >= 50
      ${Break}
    ${EndIf}
    SendMessage $0 ${WM_QUERYENDSESSION} 0 0 /TIMEOUT=2000
    SendMessage $0 ${WM_ENDSESSION} 1 0 /TIMEOUT=5000
    Sleep 200
    IntOp $1 $1 + 1
  ${Loop}
  ExecWait '"$SYSDIR\taskkill.exe" /F /IM ${WATCHDOG}'
FunctionEnd
!macroend
!insertmacro EndWatchdog ""
!insertmacro EndWatchdog "un."

; The files, listed once for the installer and the uninstaller.
!macro ProgramFiles Action
  !insertmacro ${Action} "" "${WATCHDOG}"
  !insertmacro ${Action} "" "ZentraUpdater.exe"
  !insertmacro ${Action} "" "Brivara Tessel.xml"
  !insertmacro ${Action} "" "ding.wav"
  !insertmacro ${Action} "" "qt.conf"
  !insertmacro ${Action} "" "Qt6Core.dll"
  !insertmacro ${Action} "" "Qt6Gui.dll"
  !insertmacro ${Action} "" "Qt6Widgets.dll"
  !insertmacro ${Action} "" "Qt6Xml.dll"
  !insertmacro ${Action} "" "libstdc++-6.dll"
  !insertmacro ${Action} "" "libgcc_s_seh-1.dll"
  !insertmacro ${Action} "" "libwinpthread-1.dll"
  !insertmacro ${Action} "platforms" "qwindows.dll"
  !insertmacro ${Action} "styles" "qwindowsvistastyle.dll"
!macroend

!macro InstallFile Folder Name
  SetOutPath "$INSTDIR\${Folder}"
  File "${BIN}\${Folder}\${Name}"
!macroend

!macro RemoveFile Folder Name
  Delete "$INSTDIR\${Folder}\${Name}"
!macroend

Section "Tessel"
  SetShellVarContext all
  SetRegView 64
  Call EndWatchdog
  !insertmacro ProgramFiles InstallFile
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  WriteRegStr HKLM "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\${WATCHDOG}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Tessel"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Brivara"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  ; The installing user need not log on again to have it running.
  Exec '"$INSTDIR\${WATCHDOG}"'
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  SetRegView 64
  Call un.EndWatchdog
  DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  !insertmacro ProgramFiles RemoveFile
  Delete "$INSTDIR\Uninstall.exe"
  ; Only folders that are empty now: nothing the user put there is removed.
  RMDir "$INSTDIR\platforms"
  RMDir "$INSTDIR\styles"
  RMDir "$INSTDIR"
  RMDir "$PROGRAMFILES64\Brivara"
SectionEnd
