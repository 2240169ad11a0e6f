; Leaves nothing of Kelvane behind: files, shortcut, keys, its data, and the drop handler's
; registration in both registry views.
!include x64.nsh

; The user's SID, in $R0: it names the folder under ProgramData that the program makes for
; plug-ins' temporary files when the user's own temporary folder has no name in the code page.
Function un.KelvaneUserSid
    StrCpy $R0 ""
    System::Call 'advapi32::OpenProcessToken(p -1, i 8, *p .r1) i .r0'
    ${If} $0 <> 0
        System::Alloc 512
        Pop $2
        System::Call 'advapi32::GetTokenInformation(p r1, i 1, p r2, i 512, *i .r3) i .r0'
        ${If} $0 <> 0
            System::Call '*$2(p .r3)'
            System::Call 'advapi32::ConvertSidToStringSidW(p r3, *p .r4) i .r0'
            ${If} $0 <> 0
                System::Call '*$4(&w256 .R0)'
                System::Call 'kernel32::LocalFree(p r4)'
            ${EndIf}
        ${EndIf}
        System::Free $2
        System::Call 'kernel32::CloseHandle(p r1)'
    ${EndIf}
FunctionEnd

Section "Uninstall"
    SetShellVarContext current
    Call un.KelvaneQuitRunning

    ; The 32-bit server removes its 64-bit sibling too; the 64-bit one is asked as well, for a
    ; registration that it made alone.
    ExecWait '"$SYSDIR\regsvr32.exe" /u /s "$INSTDIR\KelvaneSX.dll"'
    ${If} ${RunningX64}
    ${AndIf} ${FileExists} "$WINDIR\Sysnative\regsvr32.exe"
        ExecWait '"$WINDIR\Sysnative\regsvr32.exe" /u /s "$INSTDIR\KelvaneSX64.dll"'
    ${EndIf}

    Delete "$INSTDIR\Kelvane.exe"
    Delete "$INSTDIR\KelvaneHost.exe"
    Delete "$INSTDIR\KelvaneHost64.exe"
    Delete "$INSTDIR\KelvaneSX.dll"
    Delete "$INSTDIR\KelvaneSX64.dll"
    Delete "$INSTDIR\kelvane-extract.exe"
    Delete "$INSTDIR\README.md"
    Delete "$INSTDIR\Uninstall.exe"
    ; Not recursive: files of the user's own in the folder stay, and so does the folder then.
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\Kelvane.lnk"

    DeleteRegValue HKCU "${RUN_KEY}" "Kelvane"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    DeleteRegKey HKCU "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKCU "Software\Ombrik"
    RMDir /r "$LOCALAPPDATA\Kelvane"

    Call un.KelvaneUserSid
    ReadEnvStr $1 "ProgramData"
    ${If} $R0 != ""
    ${AndIf} $1 != ""
        RMDir /r "$1\Kelvane\$R0"
        RMDir "$1\Kelvane"
    ${EndIf}
SectionEnd
