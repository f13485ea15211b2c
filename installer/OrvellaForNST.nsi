; The installer for Windows users: the plug-in into the charting host's
; data-pump folder, the setup program and the user guide into their own
; program folder, Start-menu entries for both and an uninstaller. Per user,
; like the settings. Built by CMake (the installer target), which defines VERSION,
; BIN_DIR_X64 and BIN_DIR_X86 (the two builds' program folders), DOC_DIR
; (the guide's images), GUIDE_HTML (the guide made HTML) and OUT_FILE.
;
; It carries the plug-in and the setup program for both architectures and
; installs the pair that matches the charting host: the machine of the host's
; programs in its folder, else the folder's place ("Program Files (x86)":
; x86), unless /Arch= or the architecture page says otherwise.
;
; Silent: OrvellaForNST-<version>-setup.exe /S [/NovaScopeRoot=C:\Host] [/Arch=x86|x64] [/Force] [/D=C:\Folder]
; (/D= last, as the system's installers take it; /Force takes a host folder
; without the host's program). An install that cannot place the plug-in
; changes nothing and ends with one of the exit codes below;
; the reason goes to the details list, to the install log
; %TEMP%\OrvellaForNST-setup.log and, when silent, to the console.

; A 64-bit installer: it runs where 64-bit Windows runs both kinds of host.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "nsDialogs.nsh"

!define PRODUCT "OrvellaForNST"
!define SETTINGS_KEY "Software\Corvan\Orvella\OrvellaForNST"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\OrvellaForNST"
!define PLUGIN_SUBDIR "Servers\OrvellaForNST"
!define INSTALL_LOG "$TEMP\OrvellaForNST-setup.log"
; The charting host's program, which marks its install directory.
!define HOST_PROGRAM "nst-host.exe"

!define ELEVATE_TEXT "To install into $HostRoot, run the installer as administrator (right-click it, $\"Run as administrator$\"; silently: from an administrator's command prompt), or give this user write access to the folder."
!define NO_HOST_TEXT "$HostRoot does not hold the charting host (no ${HOST_PROGRAM})"

; Exit codes besides the system's 0 (installed), 1 (cancelled) and 2 (aborted).
!define EXIT_NO_HOST_FOLDER 3
!define EXIT_HOST_FOLDER_MISSING 4
!define EXIT_PLUGIN_IN_USE 5
!define EXIT_BAD_ARCH 6
!define EXIT_HOST_FOLDER_READ_ONLY 7
!define EXIT_NO_HOST_PROGRAM 8

; PE machine field values.
!define MACHINE_I386 0x014C
!define MACHINE_AMD64 0x8664

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
Var Arch       ; x86 or x64: the plug-in and setup program to install
Var ArchGiven  ; 1 when /Arch= chose it
Var Force      ; 1 when /Force allows a host folder without the host's program
Var ArchPage
Var ArchRadioX86
Var ArchRadioX64

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
; The charting host's install directory, asked when the settings lack it.
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipHostPageWhenKnown
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE CheckHostPage
!define MUI_DIRECTORYPAGE_VARIABLE $HostRoot
!define MUI_PAGE_HEADER_TEXT "NovaScope install directory"
!define MUI_PAGE_HEADER_SUBTEXT "The folder the charting host is installed in."
!define MUI_DIRECTORYPAGE_TEXT_TOP "The plug-in goes into the ${PLUGIN_SUBDIR} folder of the charting host's install directory. Choose that directory."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "NovaScope install directory"
!insertmacro MUI_PAGE_DIRECTORY
Page custom ArchPageShow ArchPageLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\OrvellaNSTSetup.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Run the setup program"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; One line to the details list, the install log and, when silent, the console
; (the one the installer was started from, if any).
!macro Report text
    Push "${text}"
    Call Report
!macroend

Function Report
    Exch $0
    Push $1
    DetailPrint "$0"
    ClearErrors
    FileOpen $1 "${INSTALL_LOG}" a
    ${IfNot} ${Errors}
        FileSeek $1 0 END
        FileWrite $1 "$0$\r$\n"
        FileClose $1
    ${EndIf}
    ${If} ${Silent}
        System::Call 'kernel32::AttachConsole(i -1)'
        System::Call 'kernel32::GetStdHandle(i -12)p.r1'
        ${If} $1 P<> 0
        ${AndIf} $1 P<> -1
            FileWrite $1 "$0$\r$\n"
        ${EndIf}
    ${EndIf}
    Pop $1
    Pop $0
FunctionEnd

; A failure that leaves everything as it was: reported, shown in a box when
; interactive, and the installer's exit code set. The caller then stops.
!macro Fail code text
    !insertmacro Report "${text}"
    MessageBox MB_OK|MB_ICONSTOP "${text}" /SD IDOK
    SetErrorLevel ${code}
!macroend

; The machine of a program file ("x86", "x64" or empty), from its PE header.
!macro PeMachine path result
    Push "${path}"
    Call PeMachine
    Pop ${result}
!macroend

Function PeMachine
    Exch $0
    Push $1
    Push $2
    StrCpy $2 ""
    ClearErrors
    FileOpen $1 "$0" r
    ${IfNot} ${Errors}
        FileReadWord $1 $0
        ${If} $0 = 0x5A4D ; MZ
            FileSeek $1 0x3C SET
            FileReadWord $1 $0
            FileSeek $1 $0 SET
            FileReadWord $1 $0
            ${If} $0 = 0x4550 ; PE
                FileReadWord $1 $0
                FileReadWord $1 $0
                ${If} $0 = ${MACHINE_I386}
                    StrCpy $2 "x86"
                ${ElseIf} $0 = ${MACHINE_AMD64}
                    StrCpy $2 "x64"
                ${EndIf}
            ${EndIf}
        ${EndIf}
        FileClose $1
    ${EndIf}
    StrCpy $0 $2
    Pop $2
    Pop $1
    Exch $0
FunctionEnd

; $Arch for $HostRoot unless /Arch= chose it: any 64-bit program in the
; folder means a 64-bit host (a 64-bit host may ship 32-bit helpers, never the
; reverse), any 32-bit one a 32-bit host; without programs the folder's place
; decides.
Function DetectArch
    ${If} $ArchGiven == 1
        Return
    ${EndIf}
    Push $0
    Push $1
    Push $2
    StrCpy $Arch ""
    ClearErrors
    FindFirst $0 $1 "$HostRoot\*.exe"
    ${DoWhile} $1 != ""
        !insertmacro PeMachine "$HostRoot\$1" $2
        ${If} $2 == "x64"
            StrCpy $Arch "x64"
            ${Break}
        ${ElseIf} $2 == "x86"
            StrCpy $Arch "x86"
        ${EndIf}
        FindNext $0 $1
    ${Loop}
    FindClose $0
    ${If} $Arch == ""
        StrCpy $Arch "x64"
        ; Case-insensitive, as StrCmp is.
        StrLen $2 "$HostRoot"
        ${ForEach} $1 0 $2 + 1
            StrCpy $0 "$HostRoot" 20 $1
            ${If} $0 == "\Program Files (x86)"
                StrCpy $Arch "x86"
                ${Break}
            ${EndIf}
        ${Next}
    ${EndIf}
    !insertmacro Report "Plug-in architecture for $HostRoot: $Arch"
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

; The value of an option ("/Name=") on the command line, in each form a shell
; may pass it: /Name=value, /Name="value with blanks" and
; "/Name=value with blanks". Sets the error flag when the option is absent.
!macro CommandLineOption name result
    Push "${name}"
    Call CommandLineOption
    Pop ${result}
!macroend

Function CommandLineOption
    Exch $0 ; the option, then its value
    Push $1 ; the command line
    Push $2 ; where the option starts, then where its value goes on
    Push $3 ; the option's length
    Push $4 ; the character that ends the value
    Push $5 ; a piece of the command line
    Push $6 ; the character before the piece
    Push $7 ; 1 when the option starts at $2
    ${GetParameters} $1
    StrLen $3 $0
    StrCpy $2 0
    ${Do}
        StrCpy $5 $1 $3 $2
        ${If} $5 == ""
            StrCpy $0 ""
            SetErrors
            ${Break}
        ${EndIf}
        StrCpy $7 0
        ${If} $5 == $0 ; case-insensitive, as StrCmp is
            StrCpy $4 " "
            ${If} $2 == 0
                StrCpy $7 1
            ${Else}
                IntOp $6 $2 - 1
                StrCpy $6 $1 1 $6
                ${If} $6 == " "
                    StrCpy $7 1
                ${ElseIf} $6 == '"'
                    StrCpy $7 1
                    StrCpy $4 '"'
                ${EndIf}
            ${EndIf}
        ${EndIf}
        ${If} $7 == 1
            IntOp $2 $2 + $3
            StrCpy $5 $1 1 $2
            ${If} $5 == '"'
                StrCpy $4 '"'
                IntOp $2 $2 + 1
            ${EndIf}
            StrCpy $0 ""
            ${Do}
                StrCpy $5 $1 1 $2
                ${If} $5 == ""
                ${OrIf} $5 == $4
                    ${Break}
                ${EndIf}
                StrCpy $0 "$0$5"
                IntOp $2 $2 + 1
            ${Loop}
            ClearErrors
            ${Break}
        ${EndIf}
        IntOp $2 $2 + 1
    ${Loop}
    Pop $7
    Pop $6
    Pop $5
    Pop $4
    Pop $3
    Pop $2
    Pop $1
    Exch $0
FunctionEnd

Function .onInit
    Delete "${INSTALL_LOG}"
    ReadRegStr $HostRoot HKCU "${SETTINGS_KEY}" "NovaScopeRoot"
    !insertmacro CommandLineOption "/NovaScopeRoot=" $1
    ${IfNot} ${Errors}
    ${AndIf} $1 != ""
        StrCpy $HostRoot $1
    ${EndIf}
    StrCpy $ArchGiven 0
    StrCpy $Force 0
    ${GetParameters} $1
    ClearErrors
    ${GetOptions} $1 "/Force" $2
    ${IfNot} ${Errors}
        StrCpy $Force 1
    ${EndIf}
    !insertmacro CommandLineOption "/Arch=" $1
    ${IfNot} ${Errors}
        ${If} $1 == "x86"
        ${OrIf} $1 == "x64"
            StrCpy $Arch $1
            StrCpy $ArchGiven 1
        ${Else}
            !insertmacro Fail ${EXIT_BAD_ARCH} "Unknown architecture $1: /Arch= takes x86 or x64. Nothing was installed."
            Quit
        ${EndIf}
    ${EndIf}
    ; A silent install has no page to ask on: without a usable host folder
    ; it stops here, before anything is written.
    ${If} ${Silent}
        ${If} $HostRoot == ""
            !insertmacro Fail ${EXIT_NO_HOST_FOLDER} "No NovaScope install directory (none in the settings, no /NovaScopeRoot=): nothing was installed."
            Quit
        ${EndIf}
        ${IfNot} ${FileExists} "$HostRoot\*.*"
            !insertmacro Fail ${EXIT_HOST_FOLDER_MISSING} "The NovaScope install directory $HostRoot does not exist: nothing was installed."
            Quit
        ${EndIf}
        ${IfNot} ${FileExists} "$HostRoot\${HOST_PROGRAM}"
        ${AndIf} $Force != 1
            !insertmacro Fail ${EXIT_NO_HOST_PROGRAM} "${NO_HOST_TEXT}: nothing was installed. Name the charting host's install directory, or add /Force to install there anyway."
            Quit
        ${EndIf}
        Call DetectArch
    ${EndIf}
FunctionEnd

; A known folder that holds the host needs no page; one without the host
; gets the page, so that the user sees why.
Function SkipHostPageWhenKnown
    ${If} $HostRoot != ""
    ${AndIf} ${FileExists} "$HostRoot\*.*"
    ${AndIf} ${FileExists} "$HostRoot\${HOST_PROGRAM}"
        Call DetectArch
        Abort
    ${EndIf}
FunctionEnd

Function CheckHostPage
    ${If} $HostRoot == ""
    ${OrIfNot} ${FileExists} "$HostRoot\*.*"
        MessageBox MB_OK|MB_ICONSTOP "The NovaScope install directory $HostRoot does not exist. Choose the folder the charting host is installed in."
        Abort
    ${EndIf}
    ${IfNot} ${FileExists} "$HostRoot\${HOST_PROGRAM}"
    ${AndIf} $Force != 1
        MessageBox MB_YESNO|MB_ICONEXCLAMATION|MB_DEFBUTTON2 "${NO_HOST_TEXT}. Install the plug-in there anyway?" IDYES +2
        Abort
    ${EndIf}
    Call DetectArch
FunctionEnd

; The architecture the folder suggests, which the user may change.
Function ArchPageShow
    !insertmacro MUI_HEADER_TEXT "Plug-in architecture" "The plug-in must match the charting host."
    nsDialogs::Create 1018
    Pop $ArchPage
    ${NSD_CreateLabel} 0 0 100% 24u "A 32-bit charting host loads only the 32-bit plug-in, a 64-bit host only the 64-bit one. The choice below comes from the programs in $HostRoot."
    Pop $0
    ${NSD_CreateRadioButton} 0 32u 100% 12u "32-bit charting host (x86)"
    Pop $ArchRadioX86
    ${NSD_CreateRadioButton} 0 48u 100% 12u "64-bit charting host (x64)"
    Pop $ArchRadioX64
    ${If} $Arch == "x86"
        ${NSD_Check} $ArchRadioX86
    ${Else}
        ${NSD_Check} $ArchRadioX64
    ${EndIf}
    nsDialogs::Show
FunctionEnd

Function ArchPageLeave
    ${NSD_GetState} $ArchRadioX86 $0
    ${If} $0 == ${BST_CHECKED}
        StrCpy $Arch "x86"
    ${Else}
        StrCpy $Arch "x64"
    ${EndIf}
FunctionEnd

; The files of one architecture: the setup program and the plug-in.
!macro PlaceFiles binDir
    SetOutPath "$INSTDIR"
    File "${binDir}\OrvellaNSTSetup.exe"
    SetOutPath "$HostRoot\${PLUGIN_SUBDIR}"
    ; A file that cannot be replaced sets the error flag instead of asking.
    SetOverwrite try
    ClearErrors
    File "${binDir}\OrvellaForNST.dll"
    SetOverwrite on
!macroend

Section "Install"
    SetShellVarContext current
    StrCpy $R0 "$HostRoot\${PLUGIN_SUBDIR}\OrvellaForNST.dll"
    ; Everything that can stop the install is checked before anything is
    ; written: a plug-in a running host holds cannot be replaced.
    ${If} ${FileExists} "$R0"
        ClearErrors
        FileOpen $0 "$R0" a
        ${If} ${Errors}
            !insertmacro Fail ${EXIT_PLUGIN_IN_USE} "$R0 is in use (is the charting host running?): nothing was installed. Close the host and run the installer again."
            Abort
        ${EndIf}
        FileClose $0
    ${Else}
        ; A folder this user may not write (the host's folder in Program
        ; Files, say) is found before any other file is placed.
        ClearErrors
        CreateDirectory "$HostRoot\${PLUGIN_SUBDIR}"
        FileOpen $0 "$R0" w
        ${If} ${Errors}
            RMDir "$HostRoot\${PLUGIN_SUBDIR}"
            RMDir "$HostRoot\Servers"
            ; The installer asks for no rights it does not need; where the
            ; host's folder needs them, the user is told how to give them.
            !insertmacro Fail ${EXIT_HOST_FOLDER_READ_ONLY} "$HostRoot\${PLUGIN_SUBDIR} cannot be written (does the folder need administrator rights?): nothing was installed.$\r$\n${ELEVATE_TEXT}"
            Abort
        ${EndIf}
        FileClose $0
        Delete "$R0"
    ${EndIf}

    ; An older version's plug-in elsewhere is removed; the settings stay.
    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "PluginFile"
    ${If} $0 != ""
    ${AndIf} $0 != "$R0"
        Delete "$0"
    ${EndIf}
    CreateDirectory "$HostRoot\${PLUGIN_SUBDIR}"
    ${If} $Arch == "x86"
        !insertmacro PlaceFiles "${BIN_DIR_X86}"
    ${Else}
        !insertmacro PlaceFiles "${BIN_DIR_X64}"
    ${EndIf}
    ${If} ${Errors}
        !insertmacro Fail ${EXIT_PLUGIN_IN_USE} "$R0 could not be written: the plug-in was not installed."
        Abort
    ${EndIf}
    !insertmacro Report "Installed the $Arch plug-in as $R0"

    ReadRegStr $1 HKCU "${SETTINGS_KEY}" "NovaScopeRoot"
    ${If} $1 == ""
        WriteRegStr HKCU "${SETTINGS_KEY}" "NovaScopeRoot" "$HostRoot"
    ${EndIf}
    SetOutPath "$INSTDIR"
    File "${GUIDE_HTML}"
    ; Older versions installed the guide as Markdown.
    Delete "$INSTDIR\user-guide.md"
    SetOutPath "$INSTDIR\images"
    File "${DOC_DIR}\images\*.png"
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    CreateDirectory "$SMPROGRAMS\${PRODUCT}"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\Orvella NST Setup.lnk" "$INSTDIR\OrvellaNSTSetup.exe"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\User guide.lnk" "$INSTDIR\user-guide.html"

    WriteRegStr HKCU "${UNINSTALL_KEY}" "PluginFile" "$R0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "PluginArch" "$Arch"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Orvella for Nova Scope Trader"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Corvan"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\OrvellaNSTSetup.exe"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ; What the installed files take, in KB: the program folder and the plug-in.
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    ${GetSize} "$HostRoot\${PLUGIN_SUBDIR}" "/M=OrvellaForNST.dll /S=0K /G=0" $1 $2 $3
    IntOp $0 $0 + $1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
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
    Delete "$SMPROGRAMS\${PRODUCT}\User guide.lnk"
    RMDir "$SMPROGRAMS\${PRODUCT}"
    Delete "$INSTDIR\OrvellaNSTSetup.exe"
    Delete "$INSTDIR\user-guide.html"
    Delete "$INSTDIR\user-guide.md"
    Delete "$INSTDIR\images\*.png"
    RMDir "$INSTDIR\images"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
