#pragma once

// The `user` commands of the server executable, for administrators and scripts:
//   user add NAME --role ROLE [--no-password]   password: one line on standard input
//   user list                                   NAME<TAB>ROLE<TAB>ativo|desativado<TAB>senha|sem senha<TAB>TOKENS
//   user role NAME ROLE
//   user disable NAME | user enable NAME
//   user password NAME                          new password: one line on standard input
//   user token NAME                             prints a new API token, one line, on standard output
//   user revoke NAME                            revokes every API token of the user
// Standard output carries only what scripts read (the list, the token); messages go to standard
// error in Portuguese. Exit status 0 done, 1 refused or failed (no such user, name taken, database),
// 2 bad input (name, role, password).

#include "DatabaseUrl.h"

#include <iosfwd>
#include <string>

namespace appserver {

struct UserCommand {
    std::string action; // add, list, role, disable, enable, password, token, revoke
    std::string name;
    std::string role;
    bool noPassword = false;
};

int runUserCommand(const UserCommand& command, const DatabaseUrl& url, std::istream& in, std::ostream& out,
                   std::ostream& err);

} // namespace appserver
