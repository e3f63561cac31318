; The Windows installer of kivo.exe and its uninstaller, built with makensis
; by packaging/windows/CMakeLists.txt. A per-user install: no administrator
; rights, everything under the user's own folders and HKCU, so that removing
; it leaves the machine as it was. Both halves run silently with /S.
;
; The demo film site, kivo-site.exe, is an optional component ("演示站点"),
; chosen by default. /NOSITE on the command line leaves it out, /SITE takes
; it, silently or as the page's first choice; without either, an install
; over an earlier one keeps that one's choice, so an update doesn't bring
; back a site the user left out. An install without the site over one with
; it takes the site away again.
;
; makensis -INPUTCHARSET UTF8 -DKIVO_VERSION=1.2.3 -DKIVO_EXE=path/kivo.exe
;          -DKIVO_SITE_EXE=path/kivo-site.exe -DKIVO_ICON=path/app.ico
;          -DKIVO_OUTFILE=path/setup.exe kivo.nsi

Unicode true
; kivo.exe is a 64-bit program, and so the installer: it runs wherever
; kivo.exe can.
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!ifndef KIVO_VERSION | KIVO_EXE | KIVO_SITE_EXE | KIVO_ICON | KIVO_OUTFILE
  !error "KIVO_VERSION, KIVO_EXE, KIVO_SITE_EXE, KIVO_ICON and KIVO_OUTFILE come from the build"
!endif

!define PRODUCT_NAME "Kivo手机电影下载器"
!define PUBLISHER "example.org"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT_NAME}.lnk"
!define SITE_NAME "演示站点"
!define SITE_SHORTCUT "$SMPROGRAMS\${PRODUCT_NAME} ${SITE_NAME}.lnk"
; The key's name is what "Apps" and winget see; it never changes between
; versions so that a newer installer replaces the entry.
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kivo"

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"
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

!insertmacro MUI_PAGE_COMPONENTS
; The folder may be another install's, its site running there.
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
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

!define SITE_RUNS_INSTALL "演示站点正在运行，请先关闭它的窗口，再继续安装。"

; The sections' order is the order they run in: the site's own section
; follows the program's, and the last (hidden) one sees what was chosen.
Section "!${PRODUCT_NAME}" SectionProgram
  SectionIn RO
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
SectionEnd

Section "${SITE_NAME}" SectionSite
  SetOutPath "$INSTDIR"
  File "/oname=kivo-site.exe" "${KIVO_SITE_EXE}"
  ; Started in its folder; it takes its icon from kivo-site.exe.
  CreateShortCut "${SITE_SHORTCUT}" "$INSTDIR\kivo-site.exe"
SectionEnd

Section "-Finish"
  ; Left out this time, the site of an earlier install goes too: the
  ; choice made last is the one that holds.
  ${If} ${SectionIsSelected} ${SectionSite}
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "DemoSite" 1
  ${Else}
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "DemoSite" 0
    Delete "${SITE_SHORTCUT}"
    Delete "$INSTDIR\kivo-site.exe"
  ${EndIf}
  ; In KiB, as "Apps" expects; whatever the components came to.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  ; The box is narrow: no address in it, which would not wrap.
  !insertmacro MUI_DESCRIPTION_TEXT ${SectionProgram} "下载器本身，必须安装。"
  !insertmacro MUI_DESCRIPTION_TEXT ${SectionSite} "在本机提供演示电影的站点，下载器打开时显示它的主页。从开始菜单启动，关闭它的窗口即停止。"
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function .onInit
  SetShellVarContext current
  !insertmacro KivoRefuseWhileRunning "程序正在运行，请先从托盘菜单选择“退出软件”，再继续安装。"
  !insertmacro KivoRefuseWhileSiteRuns "${SITE_RUNS_INSTALL}"
  ; The last install's choice, unless the command line makes its own.
  ClearErrors
  ReadRegDWORD $2 HKCU "${UNINSTALL_KEY}" "DemoSite"
  ${IfNot} ${Errors}
  ${AndIf} $2 == 0
    !insertmacro UnselectSection ${SectionSite}
  ${EndIf}
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/NOSITE" $1
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${SectionSite}
  ${EndIf}
  ClearErrors
  ${GetOptions} $0 "/SITE" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SectionSite}
  ${EndIf}
FunctionEnd

Function DirectoryLeave
  !insertmacro KivoRefuseWhileSiteRuns "${SITE_RUNS_INSTALL}"
FunctionEnd

Function un.onInit
  SetShellVarContext current
  !insertmacro KivoRefuseWhileRunning "程序正在运行，请先从托盘菜单选择“退出软件”，再继续卸载。"
  !insertmacro KivoRefuseWhileSiteRuns "演示站点正在运行，请先关闭它的窗口，再继续卸载。"
FunctionEnd

; Only what the installer put there is removed, by name: a folder the user
; chose for the program may hold files of their own.
Section "Uninstall"
  Delete "${SHORTCUT}"
  Delete "${SITE_SHORTCUT}"
  Delete "$INSTDIR\kivo.exe"
  Delete "$INSTDIR\kivo-site.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  ; Windows makes this folder for the first per-user program; an empty one
  ; is ours to take away again.
  RMDir "$LOCALAPPDATA\Programs"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
