; Installer of Torvex Help, built by scripts/package:
;   makensis -DX64_EXE=... -DX86_EXE=... -DACCESS_TOOL=... -DOUTFILE=... -DVERSION=1.0.0.0
;            -DCONTRACT=<build>/generated/Contract.nsh TorvexHelp.nsi
; VERSION is project(VERSION) of CMakeLists.txt; CONTRACT, the file CMake generates from
; mirov/Contract.h, defines what the program and its installer must agree on (THRESHOLD_KEY,
; VENDOR_KEY, RUN_VALUE); with -DSIGN=<command> the uninstaller and the installer are signed by that
; command (scripts/sign), and a failed signature fails the build.
;
; Installs TorvexHelp.exe into the folder of the vendor's Torvex.dll (chosen on the folder page, or
; /D=<folder> as the last argument), in the build that matches that library (a 32-bit library gets the
; x86 build), registers it to start at every logon (HKLM Run value "TorvexHelp") and starts it with the
; logged-on user's own token. The vendor library is never shipped or touched. A folder that anyone
; but the administrators may change is refused: what is installed there runs at every user's logon.
; The work on access lists, tokens, running copies, the key's creation and the library's architecture
; is done by TorvexSetupAccess.exe (the x64 build, carried in the installer and the uninstaller), which
; the scripts here only call; it is unpacked for each call into a new folder that only SYSTEM and the
; Administrators may change, and removed after it. Without a usable Torvex.dll
; in the folder the program is still installed and registered (a warning in interactive mode), but
; not started: it could only report the missing library. A copy running from the folder (the process
; whose image is its TorvexHelp.exe) is asked to quit and waited for before anything is replaced or
; removed, and ended by force when it does not end in time; one that cannot be ended fails the run with
; nothing changed. The files come first, the uninstaller before the program, and the key and the logon
; entry after them: no failure leaves a change without an uninstaller that can undo it. The
; uninstaller first judges the folder again (a folder that became a link would have the files removed
; at its target), then takes the key's grant out (refused, it removes nothing) and removes the program,
; its uninstaller and both registry entries.
;
; Silent: TorvexHelp-Setup.exe /S /D=C:\Program Files\Orvane\Torvex
;         "C:\Program Files\Orvane\Torvex\TorvexHelp-Uninstall.exe" /S [_?=C:\Program Files\Orvane\Torvex]
;         (_? runs in place and waits)
; Exit codes beyond NSIS's own (0 done, 1 cancelled, 2 aborted): 3 the folder is refused (install:
; nothing installed; uninstall: nothing removed); 4 the threshold key could not be prepared (install:
; the files and the uninstaller in place, what was changed on the key recorded, no logon entry, not
; started) or its grant could not be taken out (uninstall: nothing removed, the record kept); 5 a
; running copy could not be ended (nothing replaced or removed) or a file or entry could not be written
; or removed (install: what this run wrote taken away again); 6 (uninstall) done, but the program's
; file is removed only at the next restart.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
; No file times stored: one commit packages to the same bytes wherever and whenever it is built.
SetDateSave off

!include LogicLib.nsh
!include FileFunc.nsh

!ifndef X64_EXE | X86_EXE | ACCESS_TOOL | OUTFILE | VERSION | CONTRACT
  !error "scripts/package defines X64_EXE, X86_EXE, ACCESS_TOOL, OUTFILE, VERSION and CONTRACT"
!endif
!include "${CONTRACT}"
!ifdef SIGN
  !uninstfinalize '"${SIGN}" "%1"' = 0
  !finalize '"${SIGN}" "%1"' = 0
!endif

!define PRODUCT "Torvex Help"
!define EXE "TorvexHelp.exe"
!define UNINSTALLER "TorvexHelp-Uninstall.exe"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TorvexHelp"
; THRESHOLD_KEY (from CONTRACT) is the key the program reads its thresholds from and records
; "LastMode" in, as the user who logs on, asking for query and set value. The access tool grants the
; interactive users exactly that, on this key only, and takes it out again.
!define TOOL "TorvexSetupAccess.exe"
; The folder each call of it runs from: its own list, protected from inheritance, gives SYSTEM and the
; Administrators full access and no one else anything; made in the machine's temporary folder, whose
; entries other users may not delete or rename.
!define TOOL_FOLDER_LIST "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"
; Its exit codes.
!define TOOL_DONE 0
!define TOOL_UNCHANGED 1
; What the installer changed there, per registry view, kept under the uninstall entry as a DWORD
; "ThresholdKey64" or "ThresholdKey32" for the uninstaller to undo.
!define PREPARED_KEY 1              ; the installer created the key
!define PREPARED_VENDOR_KEY 2       ; ... and its parent
!define PREPARED_FULL_ACCESS 4      ; an earlier installer added (A;;KA;;;IU): full access
!define PREPARED_GRANT 8            ; the installer added the query-and-set-value grant
; The installer made the Administrators the key's owner in place of an account that could change its
; list. Noted only: the uninstaller does not give the key back to that account.
!define PREPARED_OWNER 16
; The installer took out entries that let accounts other than the trusted ones change the key's list or
; owner, or delete it: not the installer's own, and not put back by the uninstaller either.
!define PREPARED_OTHERS_OUT 32
!define /math PREPARED_KEYS ${PREPARED_KEY} | ${PREPARED_VENDOR_KEY}

; Takes the bits BITS out of the record VAR: set, then flipped (NSIS has no "and not").
!macro CLEAR_BITS VAR BITS
  IntOp ${VAR} ${VAR} | ${BITS}
  IntOp ${VAR} ${VAR} ^ ${BITS}
!macroend
; Installer exit codes of their own.
!define EXIT_FOLDER_REFUSED 3
!define EXIT_KEY_NOT_PREPARED 4
!define EXIT_NOT_REPLACED 5
!define EXIT_REMOVED_AT_RESTART 6

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

Page directory "" "" DirectoryLeave
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Asks the copies running from $INSTDIR\${EXE} to quit and waits for their end (the tool finds them
; by their image, not by a window that any program may copy), then ends those that did not end in
; time. $R5 = "" when none runs any more; else why, for the person to read.
!macro END_RUNNING_COPIES PREFIX
Function ${PREFIX}EndRunningCopies
  StrCpy $R5 ""
  StrCpy $R6 'end-copies "$INSTDIR\${EXE}"'
  Call ${PREFIX}RunTool
  ${If} $R6 != ${TOOL_DONE}
  ${AndIf} $R6 != ${TOOL_UNCHANGED}
    StrCpy $R5 "${PRODUCT} runs from$\r$\n$INSTDIR$\r$\nand could not be ended:$\r$\n$R7"
  ${EndIf}
FunctionEnd
!macroend
!insertmacro END_RUNNING_COPIES ""
!insertmacro END_RUNNING_COPIES "un."

; $2 = a new folder, holding the access tool, that only SYSTEM and the Administrators may change;
; "" when it cannot be made. Unpacked just before its use: the installing user's own %TEMP%, where
; NSIS puts its files, may be changed by that user's unelevated programs meanwhile.
!macro UNPACK_TOOL PREFIX
Function ${PREFIX}UnpackTool
  Push $0 ; name, then the security descriptor
  Push $1 ; result
  Push $3 ; SECURITY_ATTRIBUTES
  StrCpy $2 ""
  System::Call 'ole32::CoCreateGuid(g .r0) i .r1'
  ${If} $1 = 0
    StrCpy $2 "$WINDIR\Temp\TorvexSetup$0"
    StrCpy $3 "${TOOL_FOLDER_LIST}"
    System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w r3, i 1, *p .r0, p 0) i .r1'
  ${EndIf}
  ${If} $1 = 0
    StrCpy $2 ""
  ${Else}
    ; nLength, padding, lpSecurityDescriptor, bInheritHandle, padding: the x64 layout.
    System::Call '*(i 24, i 0, p r0, i 0, i 0) p .r3'
    ; Fails on a name that exists: the folder is always this call's own.
    System::Call 'kernel32::CreateDirectoryW(w r2, p r3) i .r1'
    System::Free $3
    System::Call 'kernel32::LocalFree(p r0)'
    ${If} $1 = 0
      StrCpy $2 ""
    ${Else}
      ClearErrors
      File "/oname=$2\${TOOL}" "${ACCESS_TOOL}"
      ${If} ${Errors}
        Delete "$2\${TOOL}"
        RMDir "$2"
        StrCpy $2 ""
      ${EndIf}
    ${EndIf}
  ${EndIf}
  Pop $3
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro UNPACK_TOOL ""
!insertmacro UNPACK_TOOL "un."

; Runs the access tool with the arguments $R6: $R6 = its exit code ("error" when it did not run),
; $R7 = the line it printed. A start that fails is tried twice more: a file just extracted may be
; held for a moment by a scanner, and Wine very rarely fails a start for no reason of the program's.
; A start that never succeeds counts as a refusal with the callers.
!macro RUN_TOOL PREFIX
Function ${PREFIX}RunTool
  Push $0
  Push $1
  Push $2
  StrCpy $1 $R6
  StrCpy $0 0
  ${Do}
    StrCpy $R6 error
    Call ${PREFIX}UnpackTool
    ${If} $2 != ""
      nsExec::ExecToStack '"$2\${TOOL}" $1'
      Pop $R6
      Pop $R7
      Delete "$2\${TOOL}"
      RMDir "$2"
    ${EndIf}
    IntOp $0 $0 + 1
    ${If} $R6 != error
    ${OrIf} $0 >= 3
      ${Break}
    ${EndIf}
    Sleep 200
  ${Loop}
  Pop $2
  Pop $1
  ${If} $R6 == error
    StrCpy $R7 "${TOOL} could not be run"
  ${EndIf}
  StrCpy $0 $R7 2 -2
  ${If} $0 == "$\r$\n"
    StrCpy $R7 $R7 -2
  ${EndIf}
  DetailPrint $R7
  Pop $0
FunctionEnd
!macroend
!insertmacro RUN_TOOL ""
!insertmacro RUN_TOOL "un."

; $R0 = the architecture of $INSTDIR\Torvex.dll, which the access tool reads from its PE header: x64,
; x86, none (no such file) or unknown (not a Windows library of either kind, or not readable).
Function VendorLibraryArch
  StrCpy $R6 'library-arch "$INSTDIR\Torvex.dll"'
  Call RunTool
  ${If} $R6 == ${TOOL_DONE}
    StrCpy $R0 $R7
  ${ElseIf} $R6 == ${TOOL_UNCHANGED}
    StrCpy $R0 none
  ${Else}
    StrCpy $R0 unknown
  ${EndIf}
FunctionEnd

; $R5 = "" when only administrators may change the install folder, every folder above it and
; everything in it (none of them a link elsewhere, none on the network); else why not, naming the
; folder or file, for the person to read.
Function CheckFolder
  StrCpy $R6 'check-folder "$INSTDIR"'
  Call RunTool
  StrCpy $R5 ""
  ${If} $R6 != ${TOOL_DONE}
    StrCpy $R5 "${PRODUCT} can not be installed in$\r$\n$INSTDIR$\r$\n$\r$\n$R7$\r$\n$\r$\nWhat is installed there, and what the vendor library loads from there, run at every user's logon, so only administrators may be able to change them or the folders above them. Choose a folder of this machine under Program Files, or let only administrators change the file or folder named."
  ${EndIf}
FunctionEnd

; $R5 = "" when only administrators may change the install folder and the folders above it, none of
; them a link elsewhere; else why not. Files are removed there only then: a folder that became a link
; would have them removed at its target.
Function un.CheckPath
  StrCpy $R6 'check-path "$INSTDIR"'
  Call un.RunTool
  StrCpy $R5 ""
  ${If} $R6 != ${TOOL_DONE}
    StrCpy $R5 "${PRODUCT} is not removed from$\r$\n$INSTDIR$\r$\n$\r$\n$R7$\r$\n$\r$\nFiles are removed there only where nobody but the administrators may change the folder or the folders above it, and none is a link to another place."
  ${EndIf}
FunctionEnd

Function DirectoryLeave
  Call CheckFolder
  ${If} $R5 != ""
    MessageBox MB_OK|MB_ICONSTOP $R5
    Abort
  ${EndIf}
FunctionEnd

; Removes what the record $R8 says the installer created in the view $R4: the key, when it holds
; nothing but the program's own "LastMode", and the parent it created, when empty. The vendor's stays.
!macro REMOVE_CREATED_KEYS PREFIX
Function ${PREFIX}RemoveCreatedKeys
  Push $0
  Push $1
  ${If} $R4 == 32
    SetRegView 32
  ${EndIf}
  IntOp $0 $R8 & ${PREPARED_KEY}
  ${If} $0 <> 0
    EnumRegValue $0 HKLM "${THRESHOLD_KEY}" 0
    EnumRegValue $1 HKLM "${THRESHOLD_KEY}" 1
    ${If} $1 == ""
    ${AndIf} $0 == "LastMode"
      DeleteRegValue HKLM "${THRESHOLD_KEY}" "LastMode"
    ${EndIf}
    DeleteRegKey /ifempty HKLM "${THRESHOLD_KEY}"
  ${EndIf}
  IntOp $0 $R8 & ${PREPARED_VENDOR_KEY}
  ${If} $0 <> 0
    DeleteRegKey /ifempty HKLM "${VENDOR_KEY}"
  ${EndIf}
  SetRegView 64
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro REMOVE_CREATED_KEYS ""
!insertmacro REMOVE_CREATED_KEYS "un."

; $R8 = the record of the view $R4 (0 when there is none).
!macro READ_RECORD PREFIX
Function ${PREFIX}ReadRecord
  ClearErrors
  ReadRegDWORD $R8 HKLM "${UNINSTALL_KEY}" "ThresholdKey$R4"
  ${If} ${Errors}
    StrCpy $R8 0
  ${EndIf}
FunctionEnd
!macroend
!insertmacro READ_RECORD ""
!insertmacro READ_RECORD "un."

; Keeps the record $R8 of the view $R4; none when nothing is left to undo.
!macro WRITE_RECORD PREFIX
Function ${PREFIX}WriteRecord
  ${If} $R8 <> 0
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "ThresholdKey$R4" $R8
  ${Else}
    DeleteRegValue HKLM "${UNINSTALL_KEY}" "ThresholdKey$R4"
  ${EndIf}
FunctionEnd
!macroend
!insertmacro WRITE_RECORD ""
!insertmacro WRITE_RECORD "un."

; Keeps the record of the view $R4: the earlier one, $R9, with what this run did, $R8.
Function KeepRecord
  Push $R8
  IntOp $R8 $R8 | $R9
  Call WriteRecord
  Pop $R8
FunctionEnd

; Creates the key in the view $R4 where missing, the vendor's key above it first; $R8 |= what was
; created, $R5 = why not on failure.
Function CreateThresholdKey
  StrCpy $R6 "create-key $R4 --parent"
  Call RunTool
  ${If} $R6 == ${TOOL_DONE}
    IntOp $R8 $R8 | ${PREPARED_VENDOR_KEY}
  ${ElseIf} $R6 != ${TOOL_UNCHANGED}
    StrCpy $R5 $R7
    Return
  ${EndIf}
  StrCpy $R6 "create-key $R4"
  Call RunTool
  ${If} $R6 == ${TOOL_DONE}
    IntOp $R8 $R8 | ${PREPARED_KEY}
  ${ElseIf} $R6 != ${TOOL_UNCHANGED}
    StrCpy $R5 $R7
  ${EndIf}
FunctionEnd

; Runs the access tool's key command $R6; when it changed the key, $R8 |= the bit $0 and the record
; is kept at once: nothing changed on the key goes unrecorded. $R5 = "" when done or nothing was to be
; done, else the text $1 and the tool's line.
Function RunKeyStep
  Call RunTool
  ${If} $R6 == ${TOOL_DONE}
    IntOp $R8 $R8 | $0
    Call KeepRecord
  ${ElseIf} $R6 != ${TOOL_UNCHANGED}
    StrCpy $R5 "$1:$\r$\n$R7"
  ${EndIf}
FunctionEnd

; Prepares the threshold key in the registry view $R4 (32 or 64) of the installed build for a standard
; user's logon: creates it when missing, makes the Administrators its owner where its owner is not
; trusted, grants the interactive users query and set value, in place of the full access an earlier
; installation recorded, and takes out the entries that let others change its list or owner or delete
; it (such as a full-access entry no installation recorded).
; The uninstaller and its entry are in place already: the record states what was done, at each step.
; $R5 = "" when the key is prepared; else why not, and a key created just now is removed again.
Function PrepareThresholdKey
  Push $0
  Push $1
  Push $R8 ; what this run did
  Push $R9 ; the earlier record
  StrCpy $R5 ""
  Call ReadRecord
  StrCpy $R9 $R8
  StrCpy $R8 0
  Call CreateThresholdKey
  ${If} $R5 == ""
    ; An owner may always change the list, so the grant means nothing under an untrusted one.
    StrCpy $R6 "own-key $R4"
    StrCpy $0 ${PREPARED_OWNER}
    StrCpy $1 "HKLM\${THRESHOLD_KEY} ($R4-bit view) belongs to an account that may change its access list, and the Administrators can not be made its owner"
    Call RunKeyStep
  ${EndIf}
  ${If} $R5 == ""
    StrCpy $R6 "grant-key $R4"
    IntOp $0 $R9 & ${PREPARED_FULL_ACCESS}
    ${If} $0 <> 0
      StrCpy $R6 "$R6 --replace-full-access"
    ${EndIf}
    ; An earlier full-access entry goes with the grant, or was gone; a grant that fails writes nothing.
    Push $0
    !insertmacro CLEAR_BITS $R9 ${PREPARED_FULL_ACCESS}
    StrCpy $0 ${PREPARED_GRANT}
    StrCpy $1 "The interactive users can not be granted query and set value on HKLM\${THRESHOLD_KEY} ($R4-bit view), which ${PRODUCT} needs to read its thresholds at a standard user's logon"
    Call RunKeyStep
    Pop $0
    ${If} $R5 != ""
      IntOp $R9 $R9 | $0
    ${EndIf}
  ${EndIf}
  ${If} $R5 == ""
    StrCpy $R6 "secure-key $R4"
    StrCpy $0 ${PREPARED_OTHERS_OUT}
    StrCpy $1 "HKLM\${THRESHOLD_KEY} ($R4-bit view) lets others change its access list or owner, or delete it, and that can not be taken out"
    Call RunKeyStep
  ${EndIf}
  ${If} $R5 != ""
    Call RemoveCreatedKeys
    !insertmacro CLEAR_BITS $R8 ${PREPARED_KEYS}
  ${EndIf}
  Call KeepRecord
  Pop $R9
  Pop $R8
  Pop $1
  Pop $0
FunctionEnd

; Takes the grants that the record of the view $R4 holds out of the key, keeping the record of what
; was done. $R5 = "" when done, else why not (the record keeps what is left to undo).
Function un.RevokeGrants
  Push $0
  Push $R8
  Call un.ReadRecord
  StrCpy $R5 ""
  IntOp $0 $R8 & ${PREPARED_GRANT}
  ${If} $0 <> 0
    StrCpy $R6 "revoke-key $R4"
    Call un.RunTool
    ${If} $R6 == ${TOOL_DONE}
    ${OrIf} $R6 == ${TOOL_UNCHANGED}
      !insertmacro CLEAR_BITS $R8 ${PREPARED_GRANT}
      Call un.WriteRecord
    ${Else}
      StrCpy $R5 $R7
    ${EndIf}
  ${EndIf}
  IntOp $0 $R8 & ${PREPARED_FULL_ACCESS}
  ${If} $R5 == ""
  ${AndIf} $0 <> 0
    StrCpy $R6 "revoke-key $R4 --full-access"
    Call un.RunTool
    ${If} $R6 == ${TOOL_DONE}
    ${OrIf} $R6 == ${TOOL_UNCHANGED}
      !insertmacro CLEAR_BITS $R8 ${PREPARED_FULL_ACCESS}
      Call un.WriteRecord
    ${Else}
      StrCpy $R5 $R7
    ${EndIf}
  ${EndIf}
  Pop $R8
  Pop $0
FunctionEnd

; Takes the backslashes off the end of the path in VAR.
!macro WITHOUT_TRAILING_SLASHES VAR
  ${DoWhile} ${VAR} != ""
    StrCpy $2 ${VAR} 1 -1
    ${If} $2 != "\"
      ${Break}
    ${EndIf}
    StrCpy ${VAR} ${VAR} -1
  ${Loop}
!macroend

; $R1 = the folder the command line names after " /D=" (NSIS takes the rest of the line), or "";
; $R2 = $INSTDIR; both without trailing backslashes.
Function RequestedFolder
  Push $0
  Push $1
  Push $2
  System::Call 'kernel32::GetCommandLineW() t .r0'
  StrLen $1 $0
  StrCpy $R1 ""
  ${For} $2 0 $1
    StrCpy $R1 $0 4 $2
    ${If} $R1 S== " /D="
      IntOp $2 $2 + 4
      StrCpy $R1 $0 "" $2
      ${Break}
    ${EndIf}
    StrCpy $R1 ""
  ${Next}
  StrCpy $R2 $INSTDIR
  !insertmacro WITHOUT_TRAILING_SLASHES $R1
  !insertmacro WITHOUT_TRAILING_SLASHES $R2
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

Function .onInit
  SetRegView 64
  ; NSIS replaces a folder it finds unusable (a file where a folder of it should be, a drive or share
  ; that is not there) with the default one, without a word: what was asked for is refused instead.
  Call RequestedFolder
  ${If} $R1 != ""
  ${AndIf} $R1 != $R2
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} can not be installed in$\r$\n$R1$\r$\n$\r$\nA file stands where a folder of it should be, or its drive or share is not there." /SD IDOK
    SetErrorLevel ${EXIT_FOLDER_REFUSED}
    Abort
  ${EndIf}
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

; Starts the installed program with the logged-on user's own token; where that cannot be done it
; is not started, and starts at the next logon like at every other.
Function StartProgram
  StrCpy $R6 'start "$INSTDIR\${EXE}"'
  Call RunTool
  ${If} $R6 != ${TOOL_DONE}
    DetailPrint "${PRODUCT} starts at the next logon"
    MessageBox MB_OK|MB_ICONINFORMATION "${PRODUCT} is installed and starts at the next logon.$\r$\n$\r$\n$R7" /SD IDOK
  ${EndIf}
FunctionEnd

; $R3 = the nearest folder of $INSTDIR that exists, before anything is made there.
Function NearestExistingFolder
  StrCpy $R3 $INSTDIR
  ${Do}
    ${If} $R3 == ""
    ${OrIf} ${FileExists} "$R3\*.*"
      ${Break}
    ${EndIf}
    ${GetParent} $R3 $R3
  ${Loop}
FunctionEnd

; Writes the uninstaller, then the program in the build $R0 asks for. $R5 = "" when both are in place;
; else why not, and what this run wrote there is taken away again: a new folder, and the uninstaller
; where there was none. An uninstaller that replaced an earlier one stays: it undoes that installation.
Function InstallFiles
  Push $0
  Push $R3
  StrCpy $R5 ""
  Call NearestExistingFolder
  StrCpy $0 ""
  ${IfNot} ${FileExists} "$INSTDIR\${UNINSTALLER}"
    StrCpy $0 new
  ${EndIf}
  ClearErrors
  CreateDirectory "$INSTDIR"
  ${If} ${Errors}
    StrCpy $R5 "The folder$\r$\n$INSTDIR$\r$\ncan not be made."
  ${EndIf}
  ${If} $R5 == ""
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"
    ${If} ${Errors}
      StrCpy $R5 "${UNINSTALLER} can not be written in$\r$\n$INSTDIR"
    ${EndIf}
  ${EndIf}
  ; NSIS's File goes on without the file when it cannot write it (silently when silent); the error
  ; flag is all that tells.
  ${If} $R5 == ""
    ${If} $R0 == x86
      File "/oname=${EXE}" "${X86_EXE}"
    ${Else}
      File "/oname=${EXE}" "${X64_EXE}"
    ${EndIf}
    ${If} ${Errors}
      StrCpy $R5 "${EXE} can not be written in$\r$\n$INSTDIR"
    ${EndIf}
  ${EndIf}
  ${If} $R5 != ""
    DetailPrint "Not written: $INSTDIR"
    ${If} $0 == new
      Delete "$INSTDIR\${UNINSTALLER}"
    ${EndIf}
    ; Out of the folder, which could not be removed while it is the current one.
    SetOutPath "$TEMP"
    StrCpy $0 $INSTDIR
    ${Do}
      ${If} $0 == $R3
      ${OrIf} $0 == ""
        ${Break}
      ${EndIf}
      RMDir "$0"
      ${GetParent} $0 $0
    ${Loop}
  ${EndIf}
  Pop $R3
  Pop $0
FunctionEnd

; The entry in Programs and Features, which keeps the record of the key for the uninstaller. $R5 = ""
; when written.
Function WriteUninstallEntry
  StrCpy $R5 ""
  ClearErrors
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Orvane"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${If} ${Errors}
    StrCpy $R5 "The uninstall entry HKLM\${UNINSTALL_KEY} can not be written."
  ${EndIf}
FunctionEnd

Section "${PRODUCT}"
  SectionIn RO
  Call VendorLibraryArch
  DetailPrint "Vendor library: $R0"
  Call ConfirmWithoutLibrary
  ; Silent installs skip the folder page and its check.
  Call CheckFolder
  ${If} $R5 != ""
    MessageBox MB_OK|MB_ICONSTOP $R5 /SD IDOK
    SetErrorLevel ${EXIT_FOLDER_REFUSED}
    Abort
  ${EndIf}
  ; An earlier copy holds its file open: it ends before anything is changed, or nothing is.
  Call EndRunningCopies
  ${If} $R5 != ""
    MessageBox MB_OK|MB_ICONSTOP "$R5$\r$\n$\r$\nNothing was installed. Quit ${PRODUCT}, then run the installer again." /SD IDOK
    SetErrorLevel ${EXIT_NOT_REPLACED}
    Abort
  ${EndIf}
  ; The files and the uninstaller's entry first: every change after them has an uninstaller that can
  ; undo it, and a failure before them leaves nothing.
  Call InstallFiles
  ${If} $R5 != ""
    MessageBox MB_OK|MB_ICONSTOP "$R5$\r$\n$\r$\nAnother program may hold it open. An earlier ${PRODUCT} there stays as it was; run the installer again later." /SD IDOK
    SetErrorLevel ${EXIT_NOT_REPLACED}
    Abort
  ${EndIf}
  Call WriteUninstallEntry
  ${If} $R5 != ""
    MessageBox MB_OK|MB_ICONSTOP "$R5$\r$\n$\r$\n${PRODUCT} is not registered to start at logon; run the installer again later." /SD IDOK
    SetErrorLevel ${EXIT_NOT_REPLACED}
    Abort
  ${EndIf}
  ; The key in the view the installed build reads: the x86 build sees the 32-bit one.
  StrCpy $R4 64
  ${If} $R0 == x86
    StrCpy $R4 32
  ${EndIf}
  Call PrepareThresholdKey
  ${If} $R5 != ""
    MessageBox MB_OK|MB_ICONSTOP "$R5$\r$\n$\r$\n${PRODUCT} is in$\r$\n$INSTDIR$\r$\nbut not registered to start at logon. Run the installer again once administrators may change the key, or remove ${PRODUCT} with its uninstaller." /SD IDOK
    SetErrorLevel ${EXIT_KEY_NOT_PREPARED}
    Abort
  ${EndIf}
  ClearErrors
  WriteRegStr HKLM "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\${EXE}"'
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "The logon entry HKLM\${RUN_KEY}\${RUN_VALUE} can not be written, so ${PRODUCT} does not start at logon. Run the installer again later." /SD IDOK
    SetErrorLevel ${EXIT_NOT_REPLACED}
    Abort
  ${EndIf}
  ${If} $R0 == x64
  ${OrIf} $R0 == x86
    Call StartProgram
  ${EndIf}
SectionEnd

; Removes the program's file, once no copy runs. $R5 = "" when it is gone or goes at the next restart
; (the reboot flag set); else why not. Something else may still hold it open.
Function un.RemoveProgram
  StrCpy $R5 ""
  ClearErrors
  Delete "$INSTDIR\${EXE}"
  ${If} ${Errors}
    Delete /REBOOTOK "$INSTDIR\${EXE}"
    ${If} ${RebootFlag}
      DetailPrint "A restart is needed to remove $INSTDIR\${EXE}"
    ${Else}
      StrCpy $R5 "$INSTDIR\${EXE} can not be removed, not even at the next restart."
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "Uninstall"
  Call un.CheckPath
  ${If} $R5 != ""
    MessageBox MB_OK|MB_ICONSTOP $R5 /SD IDOK
    SetErrorLevel ${EXIT_FOLDER_REFUSED}
    Abort
  ${EndIf}
  ; A copy that runs holds its file: it ends first, or nothing is removed.
  Call un.EndRunningCopies
  ${If} $R5 != ""
    MessageBox MB_OK|MB_ICONSTOP "$R5$\r$\n$\r$\nNothing was uninstalled." /SD IDOK
    SetErrorLevel ${EXIT_NOT_REPLACED}
    Abort
  ${EndIf}
  ; Then what may be refused: the grant on the threshold key. Without it undone, nothing is removed,
  ; so that the record of it stays with an uninstaller that can act on it.
  StrCpy $R4 64
  Call un.RevokeGrants
  ${If} $R5 == ""
    StrCpy $R4 32
    Call un.RevokeGrants
  ${EndIf}
  ${If} $R5 != ""
    MessageBox MB_OK|MB_ICONSTOP "$R5$\r$\n$\r$\nThe access ${PRODUCT}'s installer granted on that key can not be taken back, so nothing was uninstalled. Run the uninstaller again once administrators may change the key's access list." /SD IDOK
    SetErrorLevel ${EXIT_KEY_NOT_PREPARED}
    Abort
  ${EndIf}
  ; The entries stay with a file that stays, so that the same uninstaller can be run again.
  Call un.RemoveProgram
  ${If} $R5 != ""
    MessageBox MB_OK|MB_ICONSTOP "$R5$\r$\n$\r$\nAnother program may hold it open. Run the uninstaller again later." /SD IDOK
    SetErrorLevel ${EXIT_NOT_REPLACED}
    Abort
  ${EndIf}
  ; Only the entry of this installation: another one may have registered itself since.
  ReadRegStr $0 HKLM "${RUN_KEY}" "${RUN_VALUE}"
  ${If} $0 == '"$INSTDIR\${EXE}"'
    DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
  ; Before the uninstall entry goes: it holds what the installer created.
  StrCpy $R4 64
  Call un.ReadRecord
  Call un.RemoveCreatedKeys
  StrCpy $R4 32
  Call un.ReadRecord
  Call un.RemoveCreatedKeys
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Only when empty: the vendor's files stay.
  RMDir "$INSTDIR"
  ${If} ${RebootFlag}
    SetErrorLevel ${EXIT_REMOVED_AT_RESTART}
  ${EndIf}
SectionEnd
