; The Windows installer of kivo.exe and its uninstaller, built with makensis
; by packaging/windows/CMakeLists.txt. A per-user install: no administrator
; rights, everything under the user's own folders and HKCU, so that removing
; it leaves the machine as it was. Both halves run silently with /S.
;
; makensis -INPUTCHARSET UTF8 -DKIVO_VERSION=1.2.3 -DKIVO_EXE=path/kivo.exe
;          -DKIVO_ICON=path/app.ico -DKIVO_OUTFILE=path/setup.exe kivo.nsi

Unicode true
; kivo.exe is a 64-bit program, and so the installer: it runs wherever
; kivo.exe can.
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!ifndef KIVO_VERSION | KIVO_EXE | KIVO_ICON | KIVO_OUTFILE
  !error "KIVO_VERSION, KIVO_EXE, KIVO_ICON and KIVO_OUTFILE come from the build"
!endif

!define PRODUCT_NAME "Kivo手机电影下载器"
!define PUBLISHER "example.org"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT_NAME}.lnk"
; The key's name is what "Apps" and winget see; it never changes between
; versions so that a newer installer replaces the entry.
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kivo"

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "running.nsh"

Name "${PRODUCT_NAME}"
OutFile "${KIVO_OUTFILE}"
; Where Windows itself puts per-user programs (FOLDERID_UserProgramFiles).
InstallDir "$LOCALAPPDATA\Programs\Kivo"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT_NAME} ${KIVO_VERSION}"

!define MUI_ICON "${KIVO_ICON}"
!define MUI_UNICON "${KIVO_ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\kivo.exe"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

; The installer's own file properties.
VIProductVersion "${KIVO_VERSION}.0"
VIFileVersion "${KIVO_VERSION}.0"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductName" "${PRODUCT_NAME}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileDescription" "${PRODUCT_NAME} 安装程序"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "LegalCopyright" "${PUBLISHER} 版权所有"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileVersion" "${KIVO_VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductVersion" "${KIVO_VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "OriginalFilename" "kivo-${KIVO_VERSION}-setup.exe"

Function .onInit
  SetShellVarContext current
  !insertmacro KivoRefuseWhileRunning "程序正在运行，请先从托盘菜单选择“退出软件”，再继续安装。"
FunctionEnd

Section "Install"
  SetOutPath "$INSTDIR"
  File "/oname=kivo.exe" "${KIVO_EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortCut "${SHORTCUT}" "$INSTDIR\kivo.exe" "" "$INSTDIR\kivo.exe" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT_NAME}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${KIVO_VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kivo.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ; In KiB, as "Apps" expects.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
  SetShellVarContext current
  !insertmacro KivoRefuseWhileRunning "程序正在运行，请先从托盘菜单选择“退出软件”，再继续卸载。"
FunctionEnd

; Only what the installer put there is removed, by name: a folder the user
; chose for the program may hold files of their own.
Section "Uninstall"
  Delete "${SHORTCUT}"
  Delete "$INSTDIR\kivo.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  ; Windows makes this folder for the first per-user program; an empty one
  ; is ours to take away again.
  RMDir "$LOCALAPPDATA\Programs"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
