; Writes a file of the program over the installed one. A file in use (a drop handler that a shell
; keeps loaded, a kelvane-extract that runs) can be neither written nor deleted, but it can be
; renamed: it goes aside into a folder beside it, which the program empties at its start, and the new
; file takes its name. Setup never ends as done with an old file left in place.
!include LogicLib.nsh

!ifndef KELVANE_FOLDER_REPLACED
    !error "KELVANE_FOLDER_REPLACED comes from app/Identifiers.h"
!endif

!macro KelvaneReplaceFile NAME
    Push "${NAME}"
    Call KelvaneSetAside
    ClearErrors
    File "${STAGE}/${NAME}"
    ${If} ${Errors}
        MessageBox MB_OK|MB_ICONSTOP "$(KelvaneNotReplaced)$INSTDIR\${NAME}" /SD IDOK
        SetErrorLevel 2
        Quit
    ${EndIf}
!macroend

Function KelvaneSetAside
    Exch $0
    Push $1
    Delete "$INSTDIR\$0"
    ${If} ${FileExists} "$INSTDIR\$0"
        CreateDirectory "$INSTDIR\${KELVANE_FOLDER_REPLACED}"
        StrCpy $1 1
        ${DoWhile} ${FileExists} "$INSTDIR\${KELVANE_FOLDER_REPLACED}\$1-$0"
            IntOp $1 $1 + 1
        ${Loop}
        Rename "$INSTDIR\$0" "$INSTDIR\${KELVANE_FOLDER_REPLACED}\$1-$0"
        ${If} ${FileExists} "$INSTDIR\$0"
            MessageBox MB_OK|MB_ICONSTOP "$(KelvaneNotReplaced)$INSTDIR\$0" /SD IDOK
            SetErrorLevel 2
            Quit
        ${EndIf}
    ${EndIf}
    Pop $1
    Pop $0
FunctionEnd
