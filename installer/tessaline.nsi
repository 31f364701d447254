; Tessaline-Setup.exe: installs the 64-bit synth and driver library, the 32-bit
; driver library for 32-bit programs, the language files and a default
; configuration; registers the driver and an entry in "Apps & features".
;
; Built by tools/build-installer:
;   makensis -DVERSION=2.14.1.0 -DWIN64_DIR=... -DWIN32_DIR=... -DLANG_DIR=...
;            -DCONF_FILE=... -DOUT_FILE=... installer/tessaline.nsi
; Silent use: Tessaline-Setup.exe /S [/D=folder]; Uninstall.exe /S [/REMOVECONFIG]

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include "LogicLib.nsh"
!include "x64.nsh"
!include "FileFunc.nsh"
!include "WinMessages.nsh"

!define PRODUCT "Ambrella Tessaline"
!define SHORT_NAME "Tessaline"
!define PUBLISHER "Ambrella"
!define SETTINGS_KEY "SOFTWARE\Ambrella Tessaline"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessaline"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define DRIVER "Tessaline.dll"

Name "${PRODUCT}"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES64\${SHORT_NAME}"
InstallDirRegKey HKLM "${SETTINGS_KEY}" "path"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Asks the running synth to end: a driver library or program in use cannot be replaced.
!macro CloseRunningSynth
  FindWindow $0 "MSGWND" "Tessaline Systray Window"
  ${If} $0 <> 0
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
    Sleep 1000
  ${EndIf}
!macroend

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "This installer is for 64-bit Windows." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  SetRegView 64
FunctionEnd

Section "Tessaline" SecMain
  SectionIn RO
  SetRegView 64
  !insertmacro CloseRunningSynth

  ; Start-menu entries for every user: the program is installed for the machine.
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${WIN64_DIR}\Tessaline.exe"
  SetOutPath "$INSTDIR\lang"
  File "${LANG_DIR}\*.lang"
  ; The user's settings survive a reinstall or an update.
  SetOutPath "$INSTDIR"
  SetOverwrite off
  File "${CONF_FILE}"
  SetOverwrite on

  ; The driver library goes where each kind of program loads it from.
  SetOutPath "$SYSDIR"
  File "${WIN64_DIR}\${DRIVER}"
  SetOutPath "$WINDIR\SysWOW64"
  File "${WIN32_DIR}\${DRIVER}"
  SetOutPath "$INSTDIR"

  WriteRegStr HKLM "${SETTINGS_KEY}" "path" "$INSTDIR"

  ExecWait '"$INSTDIR\Tessaline.exe" --install' $0
  ${If} $0 != 0
    MessageBox MB_OK|MB_ICONSTOP "The Tessaline MIDI driver could not be registered (exit code $0)." /SD IDOK
    SetErrorLevel 3
  ${EndIf}

  CreateDirectory "$SMPROGRAMS\${SHORT_NAME}"
  CreateShortcut "$SMPROGRAMS\${SHORT_NAME}\Tessaline.lnk" "$INSTDIR\Tessaline.exe"
  CreateShortcut "$SMPROGRAMS\${SHORT_NAME}\Tessaline Configurator.lnk" "$INSTDIR\Tessaline.exe" "--configurator"
  CreateShortcut "$SMPROGRAMS\${SHORT_NAME}\Tessaline MIDI Converter.lnk" "$INSTDIR\Tessaline.exe" "--converter"
  CreateShortcut "$SMPROGRAMS\${SHORT_NAME}\Uninstall Tessaline.lnk" "$INSTDIR\Uninstall.exe"

  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Tessaline.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $1
SectionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Uninstall"
  SetRegView 64
  SetShellVarContext all
  !insertmacro CloseRunningSynth

  ; Unregisters the driver and gives the user's default MIDI device back to Windows.
  ExecWait '"$INSTDIR\Tessaline.exe" --uninstall' $0

  ; Client programs may still hold the library: then it goes at the next restart.
  Delete /REBOOTOK "$SYSDIR\${DRIVER}"
  Delete /REBOOTOK "$WINDIR\SysWOW64\${DRIVER}"

  Delete "$INSTDIR\Tessaline.exe"
  Delete "$INSTDIR\lang\*.lang"
  RMDir "$INSTDIR\lang"

  ; The settings stay unless asked for: an update or a reinstall keeps them.
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/REMOVECONFIG" $2
  ${IfNot} ${Errors}
    StrCpy $3 1
  ${Else}
    StrCpy $3 0
    ${IfNot} ${Silent}
      MessageBox MB_YESNO|MB_ICONQUESTION "Remove your Tessaline settings (Tessaline.conf) as well?" IDNO keep
      StrCpy $3 1
      keep:
    ${EndIf}
  ${EndIf}
  ${If} $3 = 1
    Delete "$INSTDIR\Tessaline.conf"
  ${EndIf}

  Delete "$SMPROGRAMS\${SHORT_NAME}\Tessaline.lnk"
  Delete "$SMPROGRAMS\${SHORT_NAME}\Tessaline Configurator.lnk"
  Delete "$SMPROGRAMS\${SHORT_NAME}\Tessaline MIDI Converter.lnk"
  Delete "$SMPROGRAMS\${SHORT_NAME}\Uninstall Tessaline.lnk"
  RMDir "$SMPROGRAMS\${SHORT_NAME}"

  ; Starting with the logon would name a program that is gone.
  ReadRegStr $4 HKCU "${RUN_KEY}" "Tessaline"
  ${If} $4 == '"$INSTDIR\Tessaline.exe"'
    DeleteRegValue HKCU "${RUN_KEY}" "Tessaline"
  ${EndIf}
  DeleteRegKey HKLM "${SETTINGS_KEY}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
