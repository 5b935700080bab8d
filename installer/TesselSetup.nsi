; TesselSetup.exe: installs the watchdog and the firmware updater with the
; files they find beside themselves and Qt's DLLs into Program Files, starts
; the watchdog at every user's logon, and leaves an uninstaller that removes
; exactly what was installed.
;
; Every user's logon starts the program from the install folder, so the
; folder is always the one below Program Files, which only administrators
; may change, and never a folder that holds files of someone else. The
; watchdog never runs with the setup's elevated token: the setup starts it
; through the desktop's shell, as the user who is logged on.
;
; Built by the Windows build (installer/CMakeLists.txt):
;   makensis -DBIN=<build>/bin -DOUTFILE=<...>/TesselSetup.exe -DVERSION=1.0.0
;            -DHELPER=<build>/bin/TesselSetupHelper.exe TesselSetup.nsi

!ifndef BIN | OUTFILE | VERSION | HELPER
  !error "BIN, OUTFILE, VERSION and HELPER must be defined"
!endif

!include "LogicLib.nsh"

Unicode true
Target amd64-unicode
Name "Tessel"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Brivara\Tessel"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show
SetCompressor /SOLID lzma
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "Tessel"
VIAddVersionKey "FileDescription" "Tessel document camera software"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Brivara"

!define WATCHDOG "tesselwatchdogapplication.exe"
!define UPDATER "ZentraUpdater.exe"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "TesselWatchdog"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessel"

; No directory page: the folder is fixed.
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; ---- the helper ---------------------------------------------------------

; Runs TesselSetupHelper.exe (unpacked into the plug-in folder, never
; installed) with its output in the details and appended to the setup's
; log, TesselSetup.log in the temporary folder of whoever runs the setup
; (a silent setup shows no details); its exit code in $0.
!macro Helper Arguments
  nsExec::ExecToStack '"$PLUGINSDIR\TesselSetupHelper.exe" ${Arguments}'
  Pop $0
  Pop $9
  DetailPrint $9
  ClearErrors
  FileOpen $8 "$TEMP\TesselSetup.log" a
  ${IfNot} ${Errors}
    FileSeek $8 0 END
    FileWrite $8 `TesselSetupHelper ${Arguments}: exit $0$\r$\n$9`
    FileClose $8
  ${EndIf}
!macroend

!macro Refuse Text
  MessageBox MB_ICONSTOP|MB_OK "${Text}" /SD IDOK
  SetErrorLevel 2
  Quit
!macroend

; A firmware write must not lose its library or its program half-way, and
; a half-replaced folder helps nobody: a running updater stops the setup
; before anything changes.
!macro RefuseWhileUpdating un
Function ${un}RefuseWhileUpdating
  ; This folder's updater, by its path: a program of the same name elsewhere,
  ; which any user may start, holds nothing up.
  !insertmacro Helper '"running" "$INSTDIR\${UPDATER}"'
  ${If} $0 == 1
    !insertmacro Refuse "ZentraUpdater is running, perhaps writing the camera's firmware. Let it finish, then run this again."
  ${ElseIf} $0 != 0
    !insertmacro Refuse "The running programs cannot be checked ($0)."
  ${EndIf}
FunctionEnd
!macroend
!insertmacro RefuseWhileUpdating ""
!insertmacro RefuseWhileUpdating "un."

; Ends this session's watchdog the way a log-off does, so that it starts no
; fresh copy of itself. Other users' copies keep running until they log
; off: the setup sets their files aside and they get the new ones at their
; next logon.
!macro EndWatchdogs un
Function ${un}EndWatchdogs
  !insertmacro Helper 'end-watchdogs'
  ${If} $0 != 0
    !insertmacro Refuse "The Tessel watchdog of this session could not be ended. Nothing was changed."
  ${EndIf}
FunctionEnd
!macroend
!insertmacro EndWatchdogs ""
!insertmacro EndWatchdogs "un."

; ---- the files ----------------------------------------------------------

; The files, listed once for the installer and the uninstaller: folder,
; installed name, name in the build. The language file goes in under both
; names the watchdog may read: the name for Fedora is chosen by a file on
; the current drive that any user can create.
!macro ProgramFiles Action
  !insertmacro ${Action} "" "${WATCHDOG}" "${WATCHDOG}"
  !insertmacro ${Action} "" "${UPDATER}" "${UPDATER}"
  !insertmacro ${Action} "" "Brivara Tessel.xml" "Brivara Tessel.xml"
  !insertmacro ${Action} "" "BrivaraDriver_Fedora.xml" "Brivara Tessel.xml"
  !insertmacro ${Action} "" "ding.wav" "ding.wav"
  !insertmacro ${Action} "" "qt.conf" "qt.conf"
  !insertmacro ${Action} "" "Qt6Core.dll" "Qt6Core.dll"
  !insertmacro ${Action} "" "Qt6Gui.dll" "Qt6Gui.dll"
  !insertmacro ${Action} "" "Qt6Widgets.dll" "Qt6Widgets.dll"
  !insertmacro ${Action} "" "Qt6Xml.dll" "Qt6Xml.dll"
  !insertmacro ${Action} "" "libstdc++-6.dll" "libstdc++-6.dll"
  !insertmacro ${Action} "" "libgcc_s_seh-1.dll" "libgcc_s_seh-1.dll"
  !insertmacro ${Action} "" "libwinpthread-1.dll" "libwinpthread-1.dll"
  !insertmacro ${Action} "platforms" "qwindows.dll" "qwindows.dll"
  !insertmacro ${Action} "styles" "qwindowsvistastyle.dll" "qwindowsvistastyle.dll"
!macroend

; A file that a watchdog of another session still runs from cannot be
; replaced or deleted, but Windows lets it be renamed: it is moved aside
; under a name of its own and removed at the next restart.
!macro InstallFile Folder Name Source
  SetOutPath "$INSTDIR\${Folder}"
  ClearErrors
  Delete "$INSTDIR\${Folder}\${Name}"
  ${If} ${Errors}
    GetTempFileName $1 "$INSTDIR\${Folder}"
    Delete $1
    Rename "$INSTDIR\${Folder}\${Name}" $1
    Delete /REBOOTOK $1
  ${EndIf}
  File "/oname=${Name}" "${BIN}\${Folder}\${Source}"
!macroend

; Still in use by another session's watchdog: removed at the next restart.
!macro RemoveFile Folder Name Source
  Delete /REBOOTOK "$INSTDIR\${Folder}\${Name}"
!macroend

; ---- install ------------------------------------------------------------

Function .onInit
  SetShellVarContext all
  SetRegView 64
  ${If} $INSTDIR != "$PROGRAMFILES64\Brivara\Tessel"
    !insertmacro Refuse "Tessel installs only into $PROGRAMFILES64\Brivara\Tessel."
  ${EndIf}
  InitPluginsDir
  File "/oname=$PLUGINSDIR\TesselSetupHelper.exe" "${HELPER}"
  Call RefuseWhileUpdating
  Call RefuseForeignFolder
FunctionEnd

; The folder exists already: it must be ours (an earlier install left its
; uninstaller and named it in the registry) or empty.
Function RefuseForeignFolder
  ${IfNot} ${FileExists} "$INSTDIR\*"
    Return
  ${EndIf}
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $1 == $INSTDIR
  ${AndIf} ${FileExists} "$INSTDIR\Uninstall.exe"
    Return
  ${EndIf}
  FindFirst $2 $3 "$INSTDIR\*"
  ${DoWhile} $3 != ""
    ${If} $3 != "."
    ${AndIf} $3 != ".."
      FindClose $2
      !insertmacro Refuse "$INSTDIR holds files that Tessel did not install. Tessel installs only into a folder of its own."
    ${EndIf}
    FindNext $2 $3
  ${Loop}
  FindClose $2
FunctionEnd

Section "Tessel"
  Call EndWatchdogs
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

  ; The user at this session need not log on again to have it running;
  ; under the system account (a silent deployment) nobody is, and the Run
  ; key starts it at each user's logon.
  !insertmacro Helper '"start-unelevated" "$INSTDIR\${WATCHDOG}"'
SectionEnd

; ---- uninstall ----------------------------------------------------------

Function un.onInit
  SetShellVarContext all
  SetRegView 64
  InitPluginsDir
  File "/oname=$PLUGINSDIR\TesselSetupHelper.exe" "${HELPER}"
  Call un.RefuseWhileUpdating
FunctionEnd

Section "Uninstall"
  Call un.EndWatchdogs
  DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  !insertmacro ProgramFiles RemoveFile
  Delete "$INSTDIR\Uninstall.exe"
  ; Only folders that are empty now: nothing the user put there is removed.
  RMDir /REBOOTOK "$INSTDIR\platforms"
  RMDir /REBOOTOK "$INSTDIR\styles"
  RMDir /REBOOTOK "$INSTDIR"
  RMDir "$PROGRAMFILES64\Brivara"
SectionEnd
