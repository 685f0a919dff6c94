#pragma once

#include <tabulon/DbExport.h>

#include <QString>

namespace db {

// Type codes of fields and parameters. The program branches on these numbers, so every client
// maps its own types onto them.
enum DataTypeEnum : int {
    adEmpty = 0,
    adSmallInt = 2,
    adInteger = 3,
    adSingle = 4,
    adDouble = 5,
    adCurrency = 6,
    adDate = 7,
    adBoolean = 11,
    adVariant = 12,
    adDecimal = 14,
    adTinyInt = 16,
    adUnsignedTinyInt = 17,
    adUnsignedSmallInt = 18,
    adUnsignedInt = 19,
    adBigInt = 20,
    adUnsignedBigInt = 21,
    adGUID = 72,
    adBinary = 128,
    adChar = 129,
    adWChar = 130,
    adNumeric = 131,
    adVarNumeric = 139,
    adDBDate = 133,
    adDBTime = 134,
    adDBTimeStamp = 135,
    adVarChar = 200,
    adLongVarChar = 201,
    adVarWChar = 202,
    adLongVarWChar = 203,
    adVarBinary = 204,
    adLongVarBinary = 205,
};

enum ObjectStateEnum : int { adStateClosed = 0, adStateOpen = 1, adStateConnecting = 2, adStateExecuting = 4, adStateFetching = 8 };
enum CursorLocationEnum : int { adUseServer = 2, adUseClient = 3 };
enum CursorTypeEnum : int { adOpenUnspecified = -1, adOpenForwardOnly = 0, adOpenKeyset = 1, adOpenDynamic = 2, adOpenStatic = 3 };
enum LockTypeEnum : int { adLockUnspecified = -1, adLockReadOnly = 1, adLockPessimistic = 2, adLockOptimistic = 3, adLockBatchOptimistic = 4 };
enum CommandTypeEnum : int { adCmdUnspecified = -1, adCmdText = 1, adCmdTable = 2, adCmdStoredProc = 4, adCmdUnknown = 8, adCmdFile = 256, adCmdTableDirect = 512 };
enum ParameterDirectionEnum : int { adParamUnknown = 0, adParamInput = 1, adParamOutput = 2, adParamInputOutput = 3, adParamReturnValue = 4 };
enum PositionEnum : long { adPosUnknown = -1, adPosBOF = -2, adPosEOF = -3 };

enum class Provider { SQLite, PostgreSQL, ODBC };

// How a type code is held in memory.
enum class Storage { Int64, Double, Text, Blob };

// Int64: integers, Booleans (0/1), dates (Julian day), times (microseconds since midnight),
// timestamps (microseconds since 1970-01-01 00:00 on the wall clock). Double: single, double.
// Text: character types, GUIDs, exact decimals and money (canonical text, never rounded).
// Blob: binary.
DB_EXPORT Storage storageOf(int adoType);

// Parameters the routine reads: inputs and input-outputs.
inline bool isInputDirection(int direction)
{
    return direction == adParamInput || direction == adParamInputOutput;
}

DB_EXPORT bool isNumericType(int adoType);  // integers, floating, currency, decimal/numeric
DB_EXPORT bool isTextType(int adoType);     // the character types
DB_EXPORT bool isDateType(int adoType);     // date, time, timestamp
DB_EXPORT QString typeName(int adoType);    // "adInteger" ...

} // namespace db
