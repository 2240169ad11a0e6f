; Asks a running Kelvane to quit through its own exit path, so that it unregisters its drop
; handler and saves its settings; never kills it. The command it is sent quits without asking and
; keeps the queue, the running job too: the new program takes them up at its start.
!include LogicLib.nsh
!include WinMessages.nsh

!define KELVANE_EXIT_COMMAND 1009
; Tenths of a second.
!define KELVANE_QUIT_WAIT 100

!macro KelvaneQuitRunning UN
Function ${UN}KelvaneQuitRunning
    Push $0
    Push $1
    Push $2
retry:
    FindWindow $0 "Kelvane"
    ${If} $0 <> 0
        System::Call 'user32::PostMessageW(p r0, i ${WM_COMMAND}, p ${KELVANE_EXIT_COMMAND}, p 0)'
    ${EndIf}
    ; Gone once its instance mutex is: the window goes first, the program's last handles after.
    StrCpy $2 0
    ${Do}
        System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "Kelvane") p .r1'
        ${If} $1 P= 0
            ${Break}
        ${EndIf}
        System::Call 'kernel32::CloseHandle(p r1)'
        ${If} $2 >= ${KELVANE_QUIT_WAIT}
            MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(KelvaneStillRunning)" /SD IDCANCEL IDRETRY retry
            SetErrorLevel 2
            Quit
        ${EndIf}
        Sleep 100
        IntOp $2 $2 + 1
    ${Loop}
    Pop $2
    Pop $1
    Pop $0
FunctionEnd
!macroend

!insertmacro KelvaneQuitRunning ""
!insertmacro KelvaneQuitRunning "un."
