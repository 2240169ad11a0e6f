; Asks a running Kelvane to quit through its own exit path, so that it unregisters its drop
; handler and saves its settings; never kills it. The command it is sent quits without asking and
; keeps the queue, the running job too: the new program takes them up at its start.
!include LogicLib.nsh
!include WinMessages.nsh
!include WordFunc.nsh

; scripts/make-installer takes the commands from the program's header.
!ifndef KELVANE_IDM_QUITKEEPINGJOBS | KELVANE_IDM_EXIT
    !error "KELVANE_IDM_QUITKEEPINGJOBS and KELVANE_IDM_EXIT come from app/Identifiers.h"
!endif
; Tenths of a second.
!define KELVANE_QUIT_WAIT 100
; The first version that knows the quit that keeps the queue. An older one gets the user's exit
; command, at once when the entry in "Apps & features" names its version; else (a copy started from
; elsewhere) once the window has not gone after this long.
!define KELVANE_QUIT_SINCE "0.05"
!define KELVANE_EXIT_FALLBACK 20

!macro KelvaneQuitRunning UN
Function ${UN}KelvaneQuitRunning
    Push $0
    Push $1
    Push $2
    Push $3
    Push $4
retry:
    StrCpy $3 0
    FindWindow $0 "Kelvane"
    ${If} $0 <> 0
        ; Its process, waited for as well: the instance mutex goes before the program's last files
        ; (the queue) are closed.
        System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r4) i'
        System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r4) p .r3'
        StrCpy $1 ${KELVANE_IDM_QUITKEEPINGJOBS}
        ReadRegStr $4 HKCU "${UNINSTALL_KEY}" "DisplayVersion"
        ${If} $4 != ""
            ${VersionCompare} "$4" "${KELVANE_QUIT_SINCE}" $4
            ${If} $4 == 2
                StrCpy $1 ${KELVANE_IDM_EXIT}
            ${EndIf}
        ${EndIf}
        System::Call 'user32::PostMessageW(p r0, i ${WM_COMMAND}, p r1, p 0)'
    ${EndIf}
    StrCpy $2 0
    ${Do}
        System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "Kelvane") p .r1'
        ${If} $1 P<> 0
            System::Call 'kernel32::CloseHandle(p r1)'
        ${ElseIf} $3 P= 0
            ${Break}
        ${Else}
            System::Call 'kernel32::WaitForSingleObject(p r3, i 0) i .r4'
            ${If} $4 = 0
                ${Break}
            ${EndIf}
        ${EndIf}
        ; A program that is quitting already refuses it.
        ${If} $2 = ${KELVANE_EXIT_FALLBACK}
        ${AndIf} $3 P<> 0
            System::Call 'user32::PostMessageW(p r0, i ${WM_COMMAND}, p ${KELVANE_IDM_EXIT}, p 0)'
        ${EndIf}
        ${If} $2 >= ${KELVANE_QUIT_WAIT}
            ${If} $3 P<> 0
                System::Call 'kernel32::CloseHandle(p r3)'
            ${EndIf}
            MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(KelvaneStillRunning)" /SD IDCANCEL IDRETRY retry
            SetErrorLevel 2
            Quit
        ${EndIf}
        Sleep 100
        IntOp $2 $2 + 1
    ${Loop}
    ${If} $3 P<> 0
        System::Call 'kernel32::CloseHandle(p r3)'
    ${EndIf}
    Pop $4
    Pop $3
    Pop $2
    Pop $1
    Pop $0
FunctionEnd
!macroend

!insertmacro KelvaneQuitRunning ""
!insertmacro KelvaneQuitRunning "un."
