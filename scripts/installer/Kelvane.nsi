; Kelvane's per-user setup: no administrator, everything under the user's own folders and keys.
;   scripts/make-installer makes it from the deliverables.
Unicode true
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!include MUI2.nsh
!include FileFunc.nsh
!include Sections.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvane"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define SETTINGS_KEY "Software\Ombrik\Kelvane"

Name "Kelvane"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Kelvane"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Kelvane ${VERSION}"
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1041 "ProductName" "Kelvane"
VIAddVersionKey /LANG=1041 "CompanyName" "Ombrik"
VIAddVersionKey /LANG=1041 "FileDescription" "Kelvane セットアップ"
VIAddVersionKey /LANG=1041 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "LegalCopyright" "Ombrik"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"

LangString KelvaneStillRunning ${LANG_JAPANESE} "Kelvane が終了していません。$\r$\nKelvane を終了してから［再試行］を押してください。"

!include "QuitRunning.nsh"

Section "Kelvane" SecProgram
    SectionIn RO
    SetShellVarContext current
    Call KelvaneQuitRunning
    SetOutPath "$INSTDIR"
    File "${STAGE}/Kelvane.exe"
    File "${STAGE}/KelvaneHost.exe"
    File "${STAGE}/KelvaneHost64.exe"
    File "${STAGE}/KelvaneSX.dll"
    File "${STAGE}/KelvaneSX64.dll"
    File "${STAGE}/kelvane-extract.exe"
    File "${STAGE}/README.md"
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    CreateShortcut "$SMPROGRAMS\Kelvane.lnk" "$INSTDIR\Kelvane.exe"

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Kelvane"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Ombrik"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Kelvane.exe,0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "ログオン時に起動" SecLogon
    WriteRegStr HKCU "${RUN_KEY}" "Kelvane" '"$INSTDIR\Kelvane.exe"'
SectionEnd

; The user's choice, also when it takes back an earlier one; then the program starts, silent runs too.
Section "-Start"
    ${IfNot} ${SectionIsSelected} ${SecLogon}
        DeleteRegValue HKCU "${RUN_KEY}" "Kelvane"
    ${EndIf}
    Exec '"$INSTDIR\Kelvane.exe"'
SectionEnd

!include "Uninstall.nsh"
