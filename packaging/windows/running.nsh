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

; The same for the demo site in the install folder. It holds no mutex, but
; Windows lets nobody write to the file of a program that runs, so a
; kivo-site.exe that cannot be opened for writing (a sharing violation) is
; running; a missing one is not.
!macro KivoRefuseWhileSiteRuns MESSAGE
  kivo_site_check_running:
    ; GENERIC_WRITE, sharing everything, OPEN_EXISTING.
    System::Call 'kernel32::CreateFileW(w "$INSTDIR\kivo-site.exe", i 0x40000000, i 7, p 0, i 3, i 0, p 0) p .r0 ?e'
    Pop $1
    StrCmp $0 -1 0 kivo_site_opened
    ; ERROR_SHARING_VIOLATION
    IntCmp $1 32 0 kivo_site_not_running kivo_site_not_running
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${MESSAGE}" /SD IDCANCEL IDRETRY kivo_site_check_running
    SetErrorLevel 2
    Quit
  kivo_site_opened:
    System::Call 'kernel32::CloseHandle(p r0)'
  kivo_site_not_running:
!macroend
