; The installer for Windows users: the plug-in into the charting host's
; data-pump folder, the setup program and the user guide into their own
; program folder, a Start-menu entry and an uninstaller. Per user, like the
; settings. Built by CMake (the installer target), which defines VERSION,
; BIN_DIR, DOC_DIR and OUT_FILE.
;
; Silent: OrvellaForNST-<version>-setup.exe /S [/NovaScopeRoot=C:\Host] [/D=C:\Folder]
; (/D= last, as the system's installers take it). Without NovaScopeRoot in
; the settings nor on the command line a silent install leaves the plug-in out.

; A 64-bit installer, like the plug-in it carries.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

!define PRODUCT "OrvellaForNST"
!define SETTINGS_KEY "Software\Corvan\Orvella\OrvellaForNST"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\OrvellaForNST"
!define PLUGIN_SUBDIR "Servers\OrvellaForNST"

Name "Orvella for Nova Scope Trader ${VERSION}"
OutFile "${OUT_FILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "Orvella for Nova Scope Trader Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "Corvan"
VIAddVersionKey "LegalCopyright" "Corvan"

Var HostRoot

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
; The charting host's install directory, asked when the settings lack it.
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipHostPageWhenKnown
!define MUI_DIRECTORYPAGE_VARIABLE $HostRoot
!define MUI_PAGE_HEADER_TEXT "NovaScope install directory"
!define MUI_PAGE_HEADER_SUBTEXT "The folder the charting host is installed in."
!define MUI_DIRECTORYPAGE_TEXT_TOP "The plug-in goes into the ${PLUGIN_SUBDIR} folder of the charting host's install directory. Choose that directory."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "NovaScope install directory"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\OrvellaNSTSetup.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Run the setup program"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

Function .onInit
    ReadRegStr $HostRoot HKCU "${SETTINGS_KEY}" "NovaScopeRoot"
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/NovaScopeRoot=" $1
    ${IfNot} ${Errors}
    ${AndIf} $1 != ""
        StrCpy $HostRoot $1
    ${EndIf}
FunctionEnd

Function SkipHostPageWhenKnown
    ReadRegStr $0 HKCU "${SETTINGS_KEY}" "NovaScopeRoot"
    ${If} $0 != ""
    ${AndIf} ${FileExists} "$0\*.*"
        Abort
    ${EndIf}
FunctionEnd

Section "Install"
    SetShellVarContext current
    SetOutPath "$INSTDIR"
    File "${BIN_DIR}\OrvellaNSTSetup.exe"
    File "${DOC_DIR}\user-guide.md"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    CreateDirectory "$SMPROGRAMS\${PRODUCT}"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\Orvella NST Setup.lnk" "$INSTDIR\OrvellaNSTSetup.exe"

    ; An older version's plug-in folder is replaced; the settings stay.
    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "PluginFile"
    ${If} $HostRoot != ""
        ReadRegStr $1 HKCU "${SETTINGS_KEY}" "NovaScopeRoot"
        ${If} $1 == ""
            WriteRegStr HKCU "${SETTINGS_KEY}" "NovaScopeRoot" "$HostRoot"
        ${EndIf}
        ${If} $0 != ""
        ${AndIf} $0 != "$HostRoot\${PLUGIN_SUBDIR}\OrvellaForNST.dll"
            Delete "$0"
        ${EndIf}
        CreateDirectory "$HostRoot\${PLUGIN_SUBDIR}"
        SetOutPath "$HostRoot\${PLUGIN_SUBDIR}"
        File "${BIN_DIR}\OrvellaForNST.dll"
        WriteRegStr HKCU "${UNINSTALL_KEY}" "PluginFile" "$HostRoot\${PLUGIN_SUBDIR}\OrvellaForNST.dll"
    ${Else}
        DetailPrint "No NovaScope install directory: the plug-in was not installed."
    ${EndIf}

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Orvella for Nova Scope Trader"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Corvan"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\OrvellaNSTSetup.exe"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Removes what the installer put in place; the settings, the symbol file and
; the LST files beside the plug-in stay.
Section "Uninstall"
    SetShellVarContext current
    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "PluginFile"
    ${If} $0 != ""
        Delete "$0"
        ${GetParent} "$0" $1
        RMDir "$1"
    ${EndIf}
    Delete "$SMPROGRAMS\${PRODUCT}\Orvella NST Setup.lnk"
    RMDir "$SMPROGRAMS\${PRODUCT}"
    Delete "$INSTDIR\OrvellaNSTSetup.exe"
    Delete "$INSTDIR\user-guide.md"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
