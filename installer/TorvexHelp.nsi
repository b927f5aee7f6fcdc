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
  ${If} $R0 == x64
  ${OrIf} $R0 == x86
    Exec '"$INSTDIR\${EXE}"'
  ${EndIf}
SectionEnd

; Ends a running copy and removes the program's file. A copy started a moment ago may not have its
; window yet, and a running program's file cannot be removed, so both are tried again until the file
; is gone; after QUIT_WAIT_MS it is left to be removed at the next restart.
Function un.EndAndRemoveProgram
  Push $0 ; milliseconds waited
  StrCpy $0 0
  ${Do}
    Call un.QuitRunningCopy
    ClearErrors
    Delete "$INSTDIR\${EXE}"
    ${IfNotThen} ${Errors} ${|} ${Break} ${|}
    ${If} $0 >= ${QUIT_WAIT_MS}
      MessageBox MB_OK|MB_ICONEXCLAMATION "${PRODUCT} did not end; its file is removed at the next restart." /SD IDOK
      Delete /REBOOTOK "$INSTDIR\${EXE}"
      ${Break}
    ${EndIf}
    Sleep 250
    IntOp $0 $0 + 250
  ${Loop}
  Pop $0
FunctionEnd

Section "Uninstall"
  Call un.EndAndRemoveProgram
  ; Only the entry of this installation: another one may have registered itself since.
  ReadRegStr $0 HKLM "${RUN_KEY}" "${RUN_VALUE}"
  ${If} $0 == '"$INSTDIR\${EXE}"'
    DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Only when empty: the vendor's files stay.
  RMDir "$INSTDIR"
SectionEnd
