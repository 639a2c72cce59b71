' Sample external test script for Orlenta's demonstration run; not part of the product.
'
' Orlenta starts this script once per AVE number, from its own folder, with "InputData.txt" in
' the current directory: the AVE folder, the installation folder and the testing folder (lines
' 1 to 3), the flags of the five analysis types (lines 4 to 8: True or False), then the AVE
' numbers of this run so far, one per line; the last one is this pass's AVE.
'
' For that AVE the script reads its archive Ave<nnn>\Ave<nnn>.ach, and when the archive's type is
' selected it copies the archive into the testing folder and lets KavFrame.exe solve it. Every
' pass adds one row to TestResults.txt (a retry's row replaces its AVE's earlier one) and writes
' TestResults.htm afresh from all rows. Its exit code says how the AVE went.
Option Explicit

Const ForReading = 1, ForWriting = 2, ForAppending = 8
Dim typeNames : typeNames = Array("Linear", "Nonlinear", "Thermal", "Fluid", "Electrostatic")

Dim fso, shell
Set fso = CreateObject("Scripting.FileSystemObject")
Set shell = CreateObject("WScript.Shell")

Dim lines, aveFolder, kavroFolder, testingFolder, flags(4), i
lines = ReadLines("InputData.txt")
aveFolder = WithBackslash(lines(0))
kavroFolder = WithBackslash(lines(1))
testingFolder = WithBackslash(lines(2))
For i = 0 To 4
    flags(i) = (lines(3 + i) = "True")
Next

Dim aveNumber, aveName
aveNumber = CLng(lines(UBound(lines)))
aveName = "Ave" & Padded(aveNumber)

If Not fso.FolderExists(testingFolder) Then fso.CreateFolder RemoveBackslash(testingFolder)
Dim rowsFile : rowsFile = testingFolder & "TestResults.txt"
' The first pass of a run (one AVE number in the file, whatever the order of the run) starts a fresh table.
If UBound(lines) = 8 And fso.FileExists(rowsFile) Then fso.DeleteFile rowsFile

Dim archive, aveType, selected, found, outcome
archive = aveFolder & aveName & "\" & aveName & ".ach"
found = fso.FileExists(archive)
aveType = "unknown"
selected = False
outcome = "No archive"
If found Then
    aveType = ArchiveValue(archive, "Type")
    selected = TypeSelected(aveType)
    If selected Then
        outcome = Solve(archive)
    Else
        outcome = "Skipped"
    End If
End If

' A retry (Orlenta's -RETRY=) gives the AVE's number again: its row takes the place of the earlier
' attempt's, so the page shows each AVE once, as its last attempt went, and says which attempt that was.
Dim attempt : attempt = 0
For i = 8 To UBound(lines)
    If CLng(lines(i)) = aveNumber Then attempt = attempt + 1
Next
If attempt > 1 Then DropRows rowsFile, aveNumber
AppendRow rowsFile, aveNumber & vbTab & aveType & vbTab & IIf(selected, "selected", "skipped") & vbTab & _
    IIf(found, "yes", "no") & vbTab & outcome & vbTab & attempt
WriteResultsPage rowsFile, testingFolder & "TestResults.htm"
' The exit code is what Orlenta records for the AVE: 0 passed (or nothing to do), 1 failed, 2 the solver erred.
Select Case Left(outcome, 5)
    Case "Faile": WScript.Quit 1
    Case "Error": WScript.Quit 2
    Case Else: WScript.Quit 0
End Select

Function Solve(archivePath)
    Dim workFolder, copy, resultFile, code
    workFolder = testingFolder & aveName
    If Not fso.FolderExists(workFolder) Then fso.CreateFolder workFolder
    copy = workFolder & "\" & aveName & ".ach"
    fso.CopyFile archivePath, copy, True
    resultFile = workFolder & "\" & aveName & ".out"
    code = shell.Run("""" & kavroFolder & "KavFrame.exe"" """ & copy & """ """ & resultFile & """", 0, True)
    Select Case code
        Case 0: Solve = "Passed"
        Case 1: Solve = "Failed"
        Case Else: Solve = "Error " & code
    End Select
End Function

Function TypeSelected(name)
    Dim k
    TypeSelected = False
    For k = 0 To 4
        If StrComp(typeNames(k), name, vbTextCompare) = 0 Then TypeSelected = flags(k)
    Next
End Function

Function ArchiveValue(path, key)
    Dim line
    ArchiveValue = ""
    For Each line In ReadLines(path)
        If Left(line, Len(key) + 1) = key & "=" Then ArchiveValue = Mid(line, Len(key) + 2)
    Next
End Function

Function ReadLines(path)
    Dim stream, text
    Set stream = fso.OpenTextFile(path, ForReading)
    text = stream.ReadAll
    stream.Close
    If Right(text, 2) = vbCrLf Then text = Left(text, Len(text) - 2)
    ReadLines = Split(text, vbCrLf)
End Function

Sub DropRows(path, number)
    Dim kept, row, cells, stream
    kept = ""
    If fso.FileExists(path) Then
        For Each row In ReadLines(path)
            cells = Split(row, vbTab)
            If UBound(cells) >= 0 Then
                If CLng(cells(0)) <> number Then kept = kept & row & vbCrLf
            End If
        Next
    End If
    Set stream = fso.OpenTextFile(path, ForWriting, True)
    stream.Write kept
    stream.Close
End Sub

Sub AppendRow(path, row)
    Dim stream
    Set stream = fso.OpenTextFile(path, ForAppending, True)
    stream.WriteLine row
    stream.Close
End Sub

Sub WriteResultsPage(rowsPath, pagePath)
    Dim page, row, cells, counts(3), k, retried
    For k = 0 To 3 : counts(k) = 0 : Next
    Set page = fso.OpenTextFile(pagePath, ForWriting, True)
    page.WriteLine "<!DOCTYPE html>"
    page.WriteLine "<html><head><meta charset=""windows-1252""><title>Kavro AVE test results</title>"
    page.WriteLine "<style>body{font-family:sans-serif}td,th{padding:2px 10px;text-align:left}" & _
        ".Passed{color:green}.Failed{color:#b00}</style></head><body>"
    page.WriteLine "<h1>Kavro AVE test results</h1>"
    page.WriteLine "<table><tr><th>AVE</th><th>Type</th><th>Selection</th><th>Archive found</th><th>Outcome</th></tr>"
    For Each row In ReadLines(rowsPath)
        cells = Split(row, vbTab)
        retried = ""
        If UBound(cells) >= 5 Then
            If CLng(cells(5)) > 1 Then retried = " (attempt " & cells(5) & ")"
        End If
        page.WriteLine "<tr><td>" & Padded(CLng(cells(0))) & "</td><td>" & cells(1) & "</td><td>" & cells(2) & _
            "</td><td>" & cells(3) & "</td><td class=""" & cells(4) & """>" & cells(4) & retried & "</td></tr>"
        Select Case cells(4)
            Case "Passed": counts(0) = counts(0) + 1
            Case "Failed": counts(1) = counts(1) + 1
            Case "Skipped": counts(2) = counts(2) + 1
            Case Else: counts(3) = counts(3) + 1
        End Select
    Next
    page.WriteLine "</table>"
    page.WriteLine "<p id=""summary"">" & (counts(0) + counts(1) + counts(2) + counts(3)) & " AVEs: " & _
        counts(0) & " passed, " & counts(1) & " failed, " & counts(2) & " skipped, " & counts(3) & _
        " without archive</p>"
    page.WriteLine "</body></html>"
    page.Close
End Sub

Function Padded(number)
    Dim digits : digits = CStr(Abs(number))
    If Len(digits) < 3 Then digits = String(3 - Len(digits), "0") & digits
    If number < 0 Then digits = "-" & digits
    Padded = digits
End Function

Function IIf(condition, whenTrue, whenFalse)
    If condition Then IIf = whenTrue Else IIf = whenFalse
End Function

Function WithBackslash(path)
    If Right(path, 1) = "\" Then WithBackslash = path Else WithBackslash = path & "\"
End Function

Function RemoveBackslash(path)
    If Right(path, 1) = "\" Then RemoveBackslash = Left(path, Len(path) - 1) Else RemoveBackslash = path
End Function
