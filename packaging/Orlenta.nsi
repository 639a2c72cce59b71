; Orlenta's installer: per-machine under Program Files, a Start-menu shortcut, an Apps & features entry
; and an uninstaller that takes back exactly what was put there.
; makensis -DVERSION=x.y.z -DSTAGE=<folder with Orlenta.exe, README.txt, Samples> -DOUTFILE=<setup.exe> Orlenta.nsi
; The target must come first: the default 32-bit stub cannot start on a 64-bit-only system.
Target amd64-unicode

!ifndef VERSION
  !error "makensis needs -DVERSION=x.y.z"
!endif
!ifndef STAGE
  !error "makensis needs -DSTAGE=<folder>"
!endif
!ifndef OUTFILE
  !error "makensis needs -DOUTFILE=<setup.exe>"
!endif

!define PRODUCT "Orlenta"
!define PUBLISHER "Norvik Kavro QA"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  SetShellVarContext all
  SetRegView 64
FunctionEnd

Function un.onInit
  SetShellVarContext all
  SetRegView 64
FunctionEnd

Section "Orlenta" SecProgram
  SetOutPath "$INSTDIR"
  File "${STAGE}/Orlenta.exe"
  File "${STAGE}/README.txt"
  ; The sample goes to Samples: Files\KavroTestScript1.vbs is the site's own script.
  SetOutPath "$INSTDIR\Samples"
  File "${STAGE}/Samples/KavroTestScript1.vbs"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\Orlenta.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Orlenta.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  SectionGetSize ${SecProgram} $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Only what the installer wrote goes; the site's Files, AVES, catalogue and results stay, and so
; do the folders that hold them (RMDir without /r removes a folder only when it is empty).
Section "Uninstall"
  Delete "$INSTDIR\Orlenta.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\Samples\KavroTestScript1.vbs"
  RMDir "$INSTDIR\Samples"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
