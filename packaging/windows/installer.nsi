; The Windows installer of 数簿星 (shubuxing): per user, without administrator rights, into
; %LOCALAPPDATA%\Programs\shubuxing, with a Start-menu entry and an uninstaller.
; makensis -DVERSION=x.y.z -DSTAGE=folder -DSTAGE_LIST=files.nsh -DOUTFILE=setup.exe installer.nsi
Unicode true
; A 64-bit installer for the 64-bit programs (and one Wine from Debian runs as it is).
Target amd64-unicode
!include "MUI2.nsh"

!define NAME "数簿星"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\shubuxing"

Name "${NAME} ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\shubuxing"
InstallDirRegKey HKCU "Software\shubuxing" "InstallDir"
SetCompressor /SOLID lzma

!define MUI_ICON "${STAGE}\shubuxing.ico"
!define MUI_UNICON "${STAGE}\shubuxing.ico"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\shubuxing.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

Section "Install"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\shubuxing.exe" "" "$INSTDIR\shubuxing.ico"
  WriteRegStr HKCU "Software\shubuxing" "InstallDir" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${NAME} (shubuxing)"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\shubuxing.ico"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The working folder (c:\kx) holds the user's reports and summaries: the uninstaller leaves it.
Section "Uninstall"
  SetShellVarContext current
  Delete "$SMPROGRAMS\${NAME}.lnk"
  ; Only what was installed (listed by package.sh), so a folder chosen by hand keeps the rest.
  !include "${STAGE_LIST}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegKey HKCU "Software\shubuxing"
SectionEnd
