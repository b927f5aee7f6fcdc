; Installer of Torvex Help, built by scripts/package:
;   makensis -DX64_EXE=... -DX86_EXE=... -DOUTFILE=... -DVERSION=1.0.0.0 TorvexHelp.nsi
;
; Installs TorvexHelp.exe into the folder of the vendor's Torvex.dll (chosen on the folder page, or
; /D=<folder> as the last argument), in the build that matches that library (a 32-bit library gets the
; x86 build), registers it to start at every logon (HKLM Run value "TorvexHelp") and starts it. The
; vendor library is never shipped or touched. Without a usable Torvex.dll in the folder the program is
; still installed and registered (a warning in interactive mode), but not started: it could only report
; the missing library. The uninstaller asks a running copy to quit with its quit request, waits for it
; to end, then removes the program, its uninstaller and both registry entries.
;
; Silent: TorvexHelp-Setup.exe /S /D=C:\Vendor\Folder
;         "C:\Vendor\Folder\TorvexHelp-Uninstall.exe" /S [_?=C:\Vendor\Folder]   (_? runs in place and waits)

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include LogicLib.nsh

!ifndef X64_EXE | X86_EXE | OUTFILE
  !error "scripts/package defines X64_EXE, X86_EXE and OUTFILE"
!endif
!ifndef VERSION
  !define VERSION 1.0.0.0
!endif

!define PRODUCT "Torvex Help"
!define EXE "TorvexHelp.exe"
!define UNINSTALLER "TorvexHelp-Uninstall.exe"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "TorvexHelp"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TorvexHelp"
; The program's window as other programs find it, and its quit request: WM_USER with wParam 0x55.
!define WINDOW_CLASS "TMainForm"
!define WINDOW_TITLE "Torvex Help"
!define WM_USER 0x400
!define QUIT_WPARAM 0x55
!define SYNCHRONIZE 0x00100000
!define QUIT_WAIT_MS 20000
; The key the program reads its thresholds from and records "LastMode" in, opening it with full access
; (KEY_ALL_ACCESS) as the user who logs on. The installer grants the interactive users exactly that, on
; this key only: an ACE without inheritance flags, so no sub-key gets it.
!define VENDOR_KEY "Software\Orvane"
!define THRESHOLD_KEY "Software\Orvane\TORVEX3"
!define GRANT_ACE "(A;;KA;;;IU)"
; What the installer changed there, per registry view, kept under the uninstall entry as a DWORD
; "ThresholdKey64" or "ThresholdKey32" for the uninstaller to undo.
!define PREPARED_KEY 1        ; the installer created the key
!define PREPARED_VENDOR_KEY 2 ; ... and its parent
!define PREPARED_GRANT 4      ; the installer added GRANT_ACE
!define HKLM_HANDLE -2147483646 ; HKEY_LOCAL_MACHINE as a pointer of this 64-bit installer
!define KEY_READ 0x20019
!define KEY_SECURITY 0x60000 ; READ_CONTROL | WRITE_DAC
!define DACL_INFORMATION 4
!define SDDL_REVISION 1

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Orvane\Torvex"
; The vendor's folder and the machine-wide logon entry both need an administrator.
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show
BrandingText " "
DirText "Choose the folder that holds the vendor library Torvex.dll: ${PRODUCT} is installed beside it."

VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "Orvane"
VIAddVersionKey "LegalCopyright" "Orvane"
VIAddVersionKey "FileDescription" "${PRODUCT} installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Reads the next COUNT bytes of the open file HANDLE as a little-endian number; "" when the file ends
; first. In: Push COUNT, Push HANDLE. Out: Pop the number.
Function ReadLittleEndian
  Exch $0 ; handle
  Exch
  Exch $1 ; count
  Push $2 ; the number
  Push $3 ; shift
  Push $4 ; byte
  StrCpy $2 0
  StrCpy $3 0
  ${DoWhile} $1 > 0
    ClearErrors
    FileReadByte $0 $4
    ${If} ${Errors}
      StrCpy $2 ""
      ${Break}
    ${EndIf}
    IntOp $4 $4 << $3
    IntOp $2 $2 | $4
    IntOp $3 $3 + 8
    IntOp $1 $1 - 1
  ${Loop}
  Pop $4
  Pop $3
  Exch $2
  Exch
  Pop $1
  Exch
  Pop $0
FunctionEnd

!macro READ_LE HANDLE COUNT OUT
  Push ${COUNT}
  Push ${HANDLE}
  Call ReadLittleEndian
  Pop ${OUT}
!macroend

; $R0 = the architecture of $INSTDIR\Torvex.dll, read from its PE header: x64, x86, none (no such
; file) or unknown (not a Windows library of either kind).
Function VendorLibraryArch
  Push $0
  Push $1
  StrCpy $R0 none
  IfFileExists "$INSTDIR\Torvex.dll" 0 done
  StrCpy $R0 unknown
  ClearErrors
  FileOpen $0 "$INSTDIR\Torvex.dll" r
  IfErrors done
  !insertmacro READ_LE $0 2 $1
  ${If} $1 == 23117 ; "MZ"
    FileSeek $0 0x3C SET
    !insertmacro READ_LE $0 4 $1
    ; A header offset beyond any sane size is no PE file.
    ${If} $1 != ""
    ${AndIf} $1 > 0
    ${AndIf} $1 < 0x10000000
      FileSeek $0 $1 SET
      !insertmacro READ_LE $0 4 $1
      ${If} $1 == 17744 ; "PE\0\0"
        !insertmacro READ_LE $0 2 $1
        ${If} $1 == 34404 ; IMAGE_FILE_MACHINE_AMD64
          StrCpy $R0 x64
        ${ElseIf} $1 == 332 ; IMAGE_FILE_MACHINE_I386
          StrCpy $R0 x86
        ${EndIf}
      ${EndIf}
    ${EndIf}
  ${EndIf}
  FileClose $0
done:
  Pop $1
  Pop $0
FunctionEnd

; Asks a running copy to quit with its quit request and waits for its end.
; $R9 = none (no copy runs), ended, or running (it did not end in time).
!macro QUIT_RUNNING_COPY PREFIX
Function ${PREFIX}QuitRunningCopy
  Push $0 ; window
  Push $1 ; process id, then the wait's result
  Push $2 ; process handle
  StrCpy $R9 none
  FindWindow $0 "${WINDOW_CLASS}" "${WINDOW_TITLE}"
  ${If} $0 <> 0
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1) i'
    System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r1) p .r2'
    DetailPrint "Asking the running ${PRODUCT} to quit"
    System::Call 'user32::PostMessageW(p r0, i ${WM_USER}, p ${QUIT_WPARAM}, p 0) i'
    StrCpy $R9 running
    ${If} $2 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p r2, i ${QUIT_WAIT_MS}) i .r1'
      System::Call 'kernel32::CloseHandle(p r2)'
      ${If} $1 = 0 ; WAIT_OBJECT_0
        StrCpy $R9 ended
      ${EndIf}
    ${EndIf}
  ${EndIf}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro QUIT_RUNNING_COPY ""
!insertmacro QUIT_RUNNING_COPY "un."

;; The access list (DACL) of an open key as SDDL text, and back. NSIS strings hold at most
;; NSIS_MAX_STRLEN characters: a longer list reads as "" and is left alone, never cut.
!macro KEY_DACL_FUNCTIONS PREFIX
; $R1 = the DACL of the open key $R2 as SDDL, or "" when it cannot be read whole.
Function ${PREFIX}ReadKeyDacl
  Push $0 ; size, then result
  Push $1 ; security descriptor
  Push $2 ; SDDL text
  StrCpy $R1 ""
  StrCpy $0 0
  System::Call 'advapi32::RegGetKeySecurity(p R2, i ${DACL_INFORMATION}, p 0, *i r0 r0) i'
  ${If} $0 > 0
    System::Alloc $0
    Pop $1
    System::Call 'advapi32::RegGetKeySecurity(p R2, i ${DACL_INFORMATION}, p r1, *i r0) i .r0'
    ${If} $0 = 0
      System::Call 'advapi32::ConvertSecurityDescriptorToStringSecurityDescriptorW(p r1, i ${SDDL_REVISION}, i ${DACL_INFORMATION}, *p .r2, p 0) i .r0'
      ${If} $0 <> 0
        System::Call 'kernel32::lstrlenW(p r2) i .r0'
        ${If} $0 < ${NSIS_MAX_STRLEN}
          System::Call '*$2(&w${NSIS_MAX_STRLEN} .R1)'
        ${EndIf}
        System::Call 'kernel32::LocalFree(p r2)'
      ${EndIf}
    ${EndIf}
    System::Free $1
  ${EndIf}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Puts the DACL $R1 (SDDL) on the open key $R2; $R3 = 1 when it is set, else 0.
Function ${PREFIX}WriteKeyDacl
  Push $0 ; result
  Push $1 ; security descriptor
  StrCpy $R3 0
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w R1, i ${SDDL_REVISION}, *p .r1, p 0) i .r0'
  ${If} $0 <> 0
    System::Call 'advapi32::RegSetKeySecurity(p R2, i ${DACL_INFORMATION}, p r1) i .r0'
    ${If} $0 = 0
      StrCpy $R3 1
    ${EndIf}
    System::Call 'kernel32::LocalFree(p r1)'
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd

; $R3 = KEY_WOW64_32KEY or KEY_WOW64_64KEY, the flag of the registry view $R4 (32 or 64).
Function ${PREFIX}ViewFlag
  StrCpy $R3 0x100
  ${If} $R4 == 32
    StrCpy $R3 0x200
  ${EndIf}
FunctionEnd

; $R3 = where GRANT_ACE starts in the SDDL $R1, or -1.
Function ${PREFIX}FindGrantAce
  Push $0 ; length of the text
  Push $1 ; length of the ACE
  Push $2 ; piece
  StrLen $0 $R1
  StrLen $1 "${GRANT_ACE}"
  IntOp $0 $0 - $1
  StrCpy $R3 0
  ${DoWhile} $R3 <= $0
    StrCpy $2 $R1 $1 $R3
    ${If} $2 == "${GRANT_ACE}"
      Goto found
    ${EndIf}
    IntOp $R3 $R3 + 1
  ${Loop}
  StrCpy $R3 -1
found:
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro KEY_DACL_FUNCTIONS ""
!insertmacro KEY_DACL_FUNCTIONS "un."

; $R3 = the flags of the ACE that starts ("(") at $R3 in the SDDL $R1: the text between its first and
; second ";".
Function AceFlags
  Push $0 ; character
  Push $1 ; flags
  StrCpy $1 ""
  ${Do}
    IntOp $R3 $R3 + 1
    StrCpy $0 $R1 1 $R3
    ${If} $0 == ";"
    ${OrIf} $0 == ""
      ${Break}
    ${EndIf}
  ${Loop}
  ${Do}
    IntOp $R3 $R3 + 1
    StrCpy $0 $R1 1 $R3
    ${If} $0 == ";"
    ${OrIf} $0 == ""
      ${Break}
    ${EndIf}
    StrCpy $1 "$1$0"
  ${Loop}
  StrCpy $R3 $1
  Pop $1
  Pop $0
FunctionEnd

; $R1 = the SDDL $R1 with GRANT_ACE after the key's own entries and before the inherited ones (flag
; "ID"), the order Windows keeps: a deny entry of the key's own still comes first.
Function InsertGrantAce
  Push $0 ; position
  Push $1 ; character
  Push $2 ; flag pair
  Push $3 ; position in the flags
  StrCpy $0 0
  ${Do}
    StrCpy $1 $R1 1 $0
    ${If} $1 == ""
      ${Break}
    ${EndIf}
    ${If} $1 == "("
      StrCpy $R3 $0
      Call AceFlags
      ; Two-letter flags (OI CI NP IO ID): "ID" marks an inherited entry.
      StrCpy $3 0
      ${Do}
        StrCpy $2 $R3 2 $3
        ${If} $2 == ""
        ${OrIf} $2 == "ID"
          ${Break}
        ${EndIf}
        IntOp $3 $3 + 2
      ${Loop}
      ${If} $2 == "ID"
        ${Break}
      ${EndIf}
    ${EndIf}
    IntOp $0 $0 + 1
  ${Loop}
  StrCpy $1 $R1 $0
  StrCpy $2 $R1 "" $0
  StrCpy $R1 "$1${GRANT_ACE}$2"
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Prepares the threshold key in the registry view $R4 (32 or 64) of the installed build for a standard
; user's logon: creates it when missing and grants GRANT_ACE, and records what it changed.
Function PrepareThresholdKey
  Push $0 ; result
  Push $1 ; access
  Push $2 ; what was changed
  Push $R1
  Push $R2
  Push $R3
  StrCpy $2 0
  Call ViewFlag
  IntOp $1 $R3 | ${KEY_READ}
  System::Call 'advapi32::RegOpenKeyExW(p ${HKLM_HANDLE}, w "${VENDOR_KEY}", i 0, i r1, *p .R2) i .r0'
  ${If} $0 = 0
    System::Call 'advapi32::RegCloseKey(p R2)'
  ${Else}
    IntOp $2 $2 | ${PREPARED_VENDOR_KEY}
  ${EndIf}
  Call ViewFlag
  IntOp $1 $R3 | ${KEY_SECURITY}
  System::Call 'advapi32::RegCreateKeyExW(p ${HKLM_HANDLE}, w "${THRESHOLD_KEY}", i 0, p 0, i 0, i r1, p 0, *p .R2, *i .R3) i .r0'
  ${If} $0 <> 0
    DetailPrint "Can not prepare HKLM\${THRESHOLD_KEY} ($R4-bit view): error $0"
    StrCpy $2 0
  ${Else}
    ${If} $R3 = 1 ; REG_CREATED_NEW_KEY
      IntOp $2 $2 | ${PREPARED_KEY}
    ${EndIf}
    Call ReadKeyDacl
    Call FindGrantAce
    ; No DACL at all, or a null one, already lets everyone in.
    StrCpy $0 $R1 2
    ${If} $R1 == ""
      DetailPrint "The access list of HKLM\${THRESHOLD_KEY} can not be read; left as it is"
    ${ElseIf} $0 != "D:"
    ${OrIf} $R1 == "D:NO_ACCESS_CONTROL"
    ${OrIf} $R3 >= 0
      DetailPrint "HKLM\${THRESHOLD_KEY} ($R4-bit view) already lets the logged-on users in"
    ${Else}
      Call InsertGrantAce
      Call WriteKeyDacl
      ${If} $R3 = 1
        IntOp $2 $2 | ${PREPARED_GRANT}
        DetailPrint "Granted the logged-on users full access to HKLM\${THRESHOLD_KEY} ($R4-bit view)"
      ${Else}
        DetailPrint "Can not set the access list of HKLM\${THRESHOLD_KEY}"
      ${EndIf}
    ${EndIf}
    System::Call 'advapi32::RegCloseKey(p R2)'
  ${EndIf}
  ; A reinstall keeps what the first installation changed.
  ClearErrors
  ReadRegDWORD $0 HKLM "${UNINSTALL_KEY}" "ThresholdKey$R4"
  ${IfNot} ${Errors}
    IntOp $2 $2 | $0
  ${EndIf}
  ${If} $2 <> 0
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "ThresholdKey$R4" $2
  ${EndIf}
  Pop $R3
  Pop $R2
  Pop $R1
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Undoes what PrepareThresholdKey recorded for the view $R4 (32 or 64): removes GRANT_ACE and,
; when the installer created the key and it holds nothing of the vendor's, the key (with the
; program's own "LastMode") and a parent it created. Everything else stays.
Function un.RestoreThresholdKey
  Push $0 ; result
  Push $1 ; access, then a piece of text
  Push $2 ; what was changed
  Push $R1
  Push $R2
  Push $R3
  ClearErrors
  ReadRegDWORD $2 HKLM "${UNINSTALL_KEY}" "ThresholdKey$R4"
  ${IfNot} ${Errors}
    IntOp $0 $2 & ${PREPARED_GRANT}
    ${If} $0 <> 0
      Call un.ViewFlag
      IntOp $1 $R3 | ${KEY_SECURITY}
      System::Call 'advapi32::RegOpenKeyExW(p ${HKLM_HANDLE}, w "${THRESHOLD_KEY}", i 0, i r1, *p .R2) i .r0'
      ${If} $0 = 0
        Call un.ReadKeyDacl
        Call un.FindGrantAce
        ${If} $R3 >= 0
          StrCpy $1 $R1 $R3
          StrLen $0 "${GRANT_ACE}"
          IntOp $R3 $R3 + $0
          StrCpy $R1 $R1 "" $R3
          StrCpy $R1 "$1$R1"
          Call un.WriteKeyDacl
        ${EndIf}
        System::Call 'advapi32::RegCloseKey(p R2)'
      ${EndIf}
    ${EndIf}
    ${If} $R4 == 32
      SetRegView 32
    ${EndIf}
    IntOp $0 $2 & ${PREPARED_KEY}
    ${If} $0 <> 0
      EnumRegValue $0 HKLM "${THRESHOLD_KEY}" 0
      EnumRegValue $R1 HKLM "${THRESHOLD_KEY}" 1
      ${If} $R1 == ""
      ${AndIf} $0 == "LastMode"
        DeleteRegValue HKLM "${THRESHOLD_KEY}" "LastMode"
      ${EndIf}
      DeleteRegKey /ifempty HKLM "${THRESHOLD_KEY}"
    ${EndIf}
    IntOp $0 $2 & ${PREPARED_VENDOR_KEY}
    ${If} $0 <> 0
      DeleteRegKey /ifempty HKLM "${VENDOR_KEY}"
    ${EndIf}
    SetRegView 64
  ${EndIf}
  Pop $R3
  Pop $R2
  Pop $R1
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

Function .onInit
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

; Warns about a folder without a usable vendor library; false (and the installation ends) when the
; person does not want to go on. Silent mode always goes on.
Function ConfirmWithoutLibrary
  ${If} $R0 == none
    MessageBox MB_OKCANCEL|MB_ICONEXCLAMATION "Torvex.dll is not in$\r$\n$INSTDIR$\r$\n$\r$\n${PRODUCT} needs the vendor library beside it. It will be installed and started at the next logon, but not now. Install anyway?" /SD IDOK IDOK +2
    Abort
  ${ElseIf} $R0 == unknown
    MessageBox MB_OKCANCEL|MB_ICONEXCLAMATION "Torvex.dll in$\r$\n$INSTDIR$\r$\nis not a Windows library that ${PRODUCT} can load. It will be installed, but not started. Install anyway?" /SD IDOK IDOK +2
    Abort
  ${EndIf}
FunctionEnd

Section "${PRODUCT}"
  SectionIn RO
  Call VendorLibraryArch
  DetailPrint "Vendor library: $R0"
  Call ConfirmWithoutLibrary
  ; An earlier copy holds its executable open.
  Call QuitRunningCopy
  SetOutPath "$INSTDIR"
  ${If} $R0 == x86
    File "/oname=${EXE}" "${X86_EXE}"
  ${Else}
    File "/oname=${EXE}" "${X64_EXE}"
  ${EndIf}
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  WriteRegStr HKLM "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\${EXE}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Orvane"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; The key in the view the installed build reads: the x86 build sees the 32-bit one.
  StrCpy $R4 64
  ${If} $R0 == x86
    StrCpy $R4 32
  ${EndIf}
  Call PrepareThresholdKey
  ${If} $R0 == x64
  ${OrIf} $R0 == x86
    Exec '"$INSTDIR\${EXE}"'
  ${EndIf}
SectionEnd

; Ends a running copy and removes the program's file. A copy started a moment ago may not have its
; window yet, and a running program's file cannot be removed, so both are tried again until the file
; is gone; after QUIT_WAIT_MS it is left to be removed at the next restart.
Function un.EndAndRemoveProgram
  Push $0 ; tick count at the start
  Push $1 ; milliseconds since
  ; Time read from the clock: each quit request may itself wait up to QUIT_WAIT_MS for a copy that hangs.
  System::Call 'kernel32::GetTickCount() i .r0'
  ${Do}
    Call un.QuitRunningCopy
    ClearErrors
    Delete "$INSTDIR\${EXE}"
    ${IfNotThen} ${Errors} ${|} ${Break} ${|}
    System::Call 'kernel32::GetTickCount() i .r1'
    IntOp $1 $1 - $0
    ${If} $1 >= ${QUIT_WAIT_MS}
      MessageBox MB_OK|MB_ICONEXCLAMATION "${PRODUCT} did not end; its file is removed at the next restart." /SD IDOK
      Delete /REBOOTOK "$INSTDIR\${EXE}"
      ${Break}
    ${EndIf}
    Sleep 250
  ${Loop}
  Pop $1
  Pop $0
FunctionEnd

Section "Uninstall"
  Call un.EndAndRemoveProgram
  ; Only the entry of this installation: another one may have registered itself since.
  ReadRegStr $0 HKLM "${RUN_KEY}" "${RUN_VALUE}"
  ${If} $0 == '"$INSTDIR\${EXE}"'
    DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
  ; Before the uninstall entry goes: it holds what the installer changed on the threshold key.
  StrCpy $R4 64
  Call un.RestoreThresholdKey
  StrCpy $R4 32
  Call un.RestoreThresholdKey
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Only when empty: the vendor's files stay.
  RMDir "$INSTDIR"
SectionEnd
