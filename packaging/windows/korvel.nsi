; KORVEL's Windows installer (NSIS 3, makensis). packaging/windows/make_installer.sh
; stages the files and calls makensis with:
;   /DVERSION=x.y.z        the product version (the file VERSION)
;   /DSTAGE=folder         bundle\KORVEL.vst3, presets\*.vstpreset, docs\... as they are installed
;   /DOUTFILE=setup.exe
;   /DINSTALLED_KB=n       the size of what is installed, for Apps & Features
; and the lists it generates from the stage: files.nsh (the Install and Remove macros).
;
; Where things go (the VST3 conventions for 64-bit Windows):
;   the bundle   %COMMONPROGRAMFILES%\VST3\KORVEL.vst3
;   the presets  %PROGRAMDATA%\VST3 Presets\Vantrel\KORVEL (factory presets, for every user)
;   licences, user guide and the uninstaller  %PROGRAMFILES%\Vantrel\KORVEL

; The installer is a 64-bit program like the plug-in: a 32-bit Windows, which
; could not load the plug-in either, refuses to start it at all, with its own
; message that the program does not fit this version of Windows.
Target amd64-unicode
!include "MUI2.nsh"
!include "LogicLib.nsh"

!ifndef VERSION | STAGE | OUTFILE | INSTALLED_KB
  !error "define VERSION, STAGE, OUTFILE and INSTALLED_KB (see packaging/windows/make_installer.sh)"
!endif

!define PRODUCT "KORVEL"
!define COMPANY "Vantrel"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${COMPANY} ${PRODUCT}"
!define UNINSTALLER "Uninstall ${PRODUCT}.exe"
!define BUNDLE_DIR "$COMMONFILES64\VST3\${PRODUCT}.vst3"
!define PRESET_DIR "$APPDATA\VST3 Presets\${COMPANY}\${PRODUCT}"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${COMPANY}\${PRODUCT}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show
BrandingText "${COMPANY} ${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey "CompanyName" "${COMPANY}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} setup (VST3 plug-in, 64-bit)"
VIAddVersionKey "LegalCopyright" "Copyright (C) 2026 ${COMPANY}"

!define MUI_ICON "${STAGE}\bundle\${PRODUCT}.vst3\PlugIn.ico"
!define MUI_UNICON "${STAGE}\bundle\${PRODUCT}.vst3\PlugIn.ico"
!define MUI_WELCOMEPAGE_TEXT "This installs ${PRODUCT} ${VERSION}, the stereo two-stage compressor, as a VST3 plug-in for 64-bit hosts.$\r$\n$\r$\nThe plug-in goes into the standard VST3 folder, $COMMONFILES64\VST3, and its factory presets into the VST3 preset folder for every user. Quit your host before you go on, and let it rescan its plug-ins afterwards.$\r$\n$\r$\n$_CLICK"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${STAGE}\docs\licences\KORVEL (GPL-3.0).txt"
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\User Guide.html"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Open the user guide"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

!include "${STAGE}\files.nsh"

; The check both the installer and the uninstaller make before anything else:
; the bundle and the preset folder belong to every user, so the work needs an
; administrator.
!macro CheckSystem
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "admin"
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} is installed for every user of this computer, which needs administrator rights.$\r$\nRun the setup again and allow it to make changes." /SD IDOK
    SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
    Quit
  ${EndIf}
  SetRegView 64
  SetShellVarContext all
!macroend

Function .onInit
  !insertmacro CheckSystem
FunctionEnd

Function un.onInit
  !insertmacro CheckSystem
FunctionEnd

; An earlier installation is removed by its own uninstaller first, so that an
; upgrade leaves no file of the old version behind. _?= keeps the uninstaller
; in place (ExecWait then waits for it); it is deleted here afterwards.
Function RemovePreviousInstallation
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "UninstallString"
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == ""
  ${OrIf} $1 == ""
    Return
  ${EndIf}
  DetailPrint "Removing the installed ${PRODUCT} first"
  ClearErrors
  ExecWait '$0 /S _?=$1' $2
  ${If} ${Errors}
  ${OrIf} $2 != 0
    MessageBox MB_OK|MB_ICONSTOP "The installed ${PRODUCT} could not be removed (uninstaller: $0).$\r$\nUninstall it from Apps & Features, then run this setup again." /SD IDOK
    Abort
  ${EndIf}
  Delete "$1\${UNINSTALLER}"
  RMDir "$1"
FunctionEnd

Section "${PRODUCT}" SecMain
  SectionIn RO
  Call RemovePreviousInstallation
  ; A bundle copied by hand (from the zip) is replaced whole: the folder is the plug-in's own.
  SetFileAttributes "${BUNDLE_DIR}\desktop.ini" NORMAL
  SetFileAttributes "${BUNDLE_DIR}\PlugIn.ico" NORMAL
  RMDir /r "${BUNDLE_DIR}"

  !insertmacro InstallFiles

  ; Explorer shows a folder's own icon only when the folder is marked as a
  ; system folder; desktop.ini and the icon stay out of sight.
  SetFileAttributes "${BUNDLE_DIR}\desktop.ini" HIDDEN|SYSTEM
  SetFileAttributes "${BUNDLE_DIR}\PlugIn.ico" HIDDEN|SYSTEM
  SetFileAttributes "${BUNDLE_DIR}" SYSTEM

  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} (VST3 plug-in)"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${COMPANY}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "${BUNDLE_DIR}\PlugIn.ico"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "https://www.vantrel.com"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${INSTALLED_KB}
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Removes exactly the files the installer wrote; a folder goes only when it
; is empty then, so presets of the user's own in the same folders stay.
Section "Uninstall"
  SetFileAttributes "${BUNDLE_DIR}" NORMAL
  SetFileAttributes "${BUNDLE_DIR}\desktop.ini" NORMAL
  SetFileAttributes "${BUNDLE_DIR}\PlugIn.ico" NORMAL
  !insertmacro RemoveFiles
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  RMDir "$PROGRAMFILES64\${COMPANY}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
