; Leaves nothing of Kelvane behind: files, shortcut, keys, its data, and the drop handler's
; registration in both registry views.
!include x64.nsh

!ifndef KELVANE_SWITCH_REMOVEDATA
    !error "KELVANE_SWITCH_REMOVEDATA comes from app/Identifiers.h"
!endif

Section "Uninstall"
    SetShellVarContext current
    Call un.KelvaneQuitRunning
    ; The program removes its own data, by its own rule: only plain folders of the user's, and in
    ; them only the names it makes. Never through a link that another user put in their place.
    ExecWait '"$INSTDIR\Kelvane.exe" ${KELVANE_SWITCH_REMOVEDATA}'

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
    ; What setup put aside while it was in use; a file still loaded stays, and the folders with it.
    Delete "$INSTDIR\${KELVANE_FOLDER_REPLACED}\*"
    RMDir "$INSTDIR\${KELVANE_FOLDER_REPLACED}"
    ; The plug-ins there are the user's own: the folder goes only when it is empty.
    RMDir "$INSTDIR\${KELVANE_FOLDER_PLUGINS}"
    ; Not recursive: files of the user's own in the folder stay, and so does the folder then.
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\Kelvane.lnk"
    Delete "$SENDTO\Kelvane.lnk"

    DeleteRegValue HKCU "${RUN_KEY}" "Kelvane"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    DeleteRegKey HKCU "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKCU "Software\Ombrik"
SectionEnd
