; The installer's and the uninstaller's guard against a running program:
; replacing or deleting kivo.exe under it would leave the install half
; done. The program holds a session mutex named after its caption while it
; runs (the one-instance check), even hidden in the tray, so that mutex is
; the sign; its name must follow the program's.

!macro KivoRefuseWhileRunning MESSAGE
  kivo_check_running:
    ; SYNCHRONIZE is the least access that still tells whether it exists.
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "Local\${PRODUCT_NAME} instance") p .r0'
    IntCmp $0 0 kivo_not_running
    System::Call 'kernel32::CloseHandle(p r0)'
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${MESSAGE}" /SD IDCANCEL IDRETRY kivo_check_running
    ; Silent runs (and a cancel) end with 2, "aborted", and change nothing.
    SetErrorLevel 2
    Quit
  kivo_not_running:
!macroend
