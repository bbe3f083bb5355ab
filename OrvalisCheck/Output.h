// Lines of the report: built in a WideBuffer, written whole. On a console
// they go through WriteConsoleW, so every character shows as the console
// can show it; redirected to a file or pipe they are UTF-8 (no byte-order
// mark), lines ended by CR LF.
#ifndef ORVALISCHECK_OUTPUT_H
#define ORVALISCHECK_OUTPUT_H

#include <windows.h>

#include <initializer_list>

#include "StringBuffers.h"

// Appends a piece; text that can't be appended for lack of memory is lost
// from the line, never from the buffer's earlier text.
void Put(WideBuffer& line, const WCHAR* piece);
// Appends the pieces in order, as Put does each.
void Put(WideBuffer& line, std::initializer_list<const WCHAR*> pieces);
// Appends text that came from outside (the registry, a file, a path) with
// every character that would not show as itself escaped as <U+XXXX>:
// controls, line breaks, bidi and other format characters, unpaired
// surrogates, and '<' itself, so no text can end a line, start another or
// pass for an escape or for the report's own <default>.
void PutShown(WideBuffer& line, const WCHAR* text);
// Columns a shown text takes on a console: wide characters two, combining
// marks none, every other one.
DWORD DisplayWidth(const WCHAR* shown);
// Appends a shown piece and spaces after it up to `width` columns.
void PutPadded(WideBuffer& line, const WCHAR* piece, DWORD width);
void PutNumber(WideBuffer& line, LONGLONG number);
void PutHex(WideBuffer& line, DWORD number);
void PutVersion(WideBuffer& line, WORD major, WORD minor, WORD build, WORD revision);
// Appends a registry type's name, e.g. REG_SZ.
void PutRegistryType(WideBuffer& line, DWORD type);

// Units before the terminator; 0 for null.
DWORD TextUnits(const WCHAR* text);

// Writes the line with its end to the handle (STD_OUTPUT_HANDLE or
// STD_ERROR_HANDLE) and releases it.
void Emit(WideBuffer& line, DWORD stdHandle = STD_OUTPUT_HANDLE);
// Writes a fixed text as one line.
void EmitText(const WCHAR* text, DWORD stdHandle = STD_OUTPUT_HANDLE);

#endif
