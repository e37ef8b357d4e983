@echo off
start "" "C:\Documents and Settings\Owner\Application Data\BrowserAid\dlhelper.exe" /update
