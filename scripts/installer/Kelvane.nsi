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
LangString KelvaneElevated ${LANG_JAPANESE} "Kelvane はユーザーごとにインストールします。$\r$\n管理者としてではなく、そのまま実行してください。"
LangString KelvaneNotReplaced ${LANG_JAPANESE} "使用中のファイルを置き換えられません:$\r$\n"

!include "QuitRunning.nsh"
!include "ReplaceFile.nsh"

; Elevated above the shell (run as administrator, or as another user), setup would install into the
; administrator's profile, and the program it starts would register for every user and never get
; the shell's drops: it refuses, before anything is changed. Where the shell runs elevated too (no
; split token), so does everything the user starts, and the install goes on.
Function KelvaneRefuseElevated
    System::Call 'advapi32::OpenProcessToken(p -1, i 8, *p .r1) i .r0'
    ${If} $0 = 0
        Return
    ${EndIf}
    System::Call 'advapi32::GetTokenInformation(p r1, i 20, *i .r2, i 4, *i .r3) i .r0'
    System::Call 'kernel32::CloseHandle(p r1)'
    ${If} $0 = 0
    ${OrIf} $2 = 0
        Return
    ${EndIf}
    System::Call 'user32::GetShellWindow() p .r0'
    ${If} $0 P= 0
        Return
    ${EndIf}
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r3) i'
    System::Call 'kernel32::OpenProcess(i 0x1000, i 0, i r3) p .r0'
    ${If} $0 P= 0
        Return
    ${EndIf}
    System::Call 'advapi32::OpenProcessToken(p r0, i 8, *p .r1) i .r3'
    System::Call 'kernel32::CloseHandle(p r0)'
    ${If} $3 = 0
        Return
    ${EndIf}
    System::Call 'advapi32::GetTokenInformation(p r1, i 20, *i .r2, i 4, *i .r3) i .r0'
    System::Call 'kernel32::CloseHandle(p r1)'
    ${If} $0 <> 0
    ${AndIf} $2 = 0
        MessageBox MB_OK|MB_ICONSTOP "$(KelvaneElevated)" /SD IDOK
        SetErrorLevel 3
        Quit
    ${EndIf}
FunctionEnd


Section "Kelvane" SecProgram
    SectionIn RO
    SetShellVarContext current
    Call KelvaneQuitRunning
    SetOutPath "$INSTDIR"
    !insertmacro KelvaneReplaceFile Kelvane.exe
    !insertmacro KelvaneReplaceFile KelvaneHost.exe
    !insertmacro KelvaneReplaceFile KelvaneHost64.exe
    !insertmacro KelvaneReplaceFile KelvaneSX.dll
    !insertmacro KelvaneReplaceFile KelvaneSX64.dll
    !insertmacro KelvaneReplaceFile kelvane-extract.exe
    !insertmacro KelvaneReplaceFile README.md
    ; Plug-ins copied here need no setting at all.
    CreateDirectory "$INSTDIR\${KELVANE_FOLDER_PLUGINS}"
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    CreateShortcut "$SMPROGRAMS\Kelvane.lnk" "$INSTDIR\Kelvane.exe"
    ; Explorer's "送る" hands the file to Kelvane.exe, which shows it in the archive browser.
    CreateShortcut "$SENDTO\Kelvane.lnk" "$INSTDIR\Kelvane.exe"

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

; An upgrade keeps the user's choice of starting at logon: the box starts unchecked when the
; installed program no longer starts so, and a silent upgrade leaves the Run value as it is.
Function .onInit
    Call KelvaneRefuseElevated
    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "DisplayVersion"
    ReadRegStr $1 HKCU "${RUN_KEY}" "Kelvane"
    ${If} $0 != ""
    ${AndIf} $1 == ""
        !insertmacro UnselectSection ${SecLogon}
    ${EndIf}
FunctionEnd

!include "Uninstall.nsh"
