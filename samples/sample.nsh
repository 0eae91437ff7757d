; Body shared by the sample NSIS installers. The including script defines
; SAMPLE_NAME, SAMPLE_KEY, SAMPLE_ROOT (HKLM or HKCU), SAMPLE_DIR and
; SAMPLE_LEVEL; the build passes OUTFILE and SAMPLE_EXE on the command line.

!ifdef AMD64
; For machines that run no 32-bit code: the same installer, 64-bit.
Target amd64-unicode
!else
Unicode true
!endif
Name "${SAMPLE_NAME}"
OutFile "${OUTFILE}"
InstallDir "${SAMPLE_DIR}"
RequestExecutionLevel ${SAMPLE_LEVEL}
; Started from the program list, the uninstaller must never wait for a click.
SilentUnInstall silent

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${SAMPLE_KEY}"

Page directory
Page instfiles

Section
    ClearErrors
    ; The 32-bit installer's view, whichever the installer's own is.
    SetRegView 32
    SetOutPath "$INSTDIR"
    File "/oname=SampleApp.exe" "${SAMPLE_EXE}"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    WriteRegStr ${SAMPLE_ROOT} "${UNINSTALL_KEY}" "DisplayName" "${SAMPLE_NAME}"
    WriteRegStr ${SAMPLE_ROOT} "${UNINSTALL_KEY}" "UninstallString" "$\"$INSTDIR\uninstall.exe$\""
    WriteRegStr ${SAMPLE_ROOT} "${UNINSTALL_KEY}" "QuietUninstallString" "$\"$INSTDIR\uninstall.exe$\" /S"
    ; Unquoted on purpose: the icon lookup parses this text as a plain path.
    WriteRegStr ${SAMPLE_ROOT} "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\SampleApp.exe"
    WriteRegStr ${SAMPLE_ROOT} "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr ${SAMPLE_ROOT} "${UNINSTALL_KEY}" "Publisher" "Vantix"
    WriteRegStr ${SAMPLE_ROOT} "${UNINSTALL_KEY}" "DisplayVersion" "1.0"
    WriteRegDWORD ${SAMPLE_ROOT} "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD ${SAMPLE_ROOT} "${UNINSTALL_KEY}" "NoRepair" 1
    IfErrors 0 +2
        Abort
SectionEnd

Section "Uninstall"
    SetRegView 32
    Delete "$INSTDIR\SampleApp.exe"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey ${SAMPLE_ROOT} "${UNINSTALL_KEY}"
SectionEnd
