// The last result code of the library and the English messages of the codes.
#pragma once

void Vx3ResultSet(int code);
int Vx3ResultGet();
// Copies the message of code into buf. A size below 1 returns the size needed (length plus
// terminator) and copies nothing; a null or too small buf gets -1 and the last result -3
// (a too small buf is emptied); otherwise the size used. Success leaves the last result alone.
int Vx3ResultMsg(int code, char* buf, short size);

namespace pvk::core {

// The message of code; "Unknown error." for codes outside the table.
const char* resultMessage(int code);

}  // namespace pvk::core
