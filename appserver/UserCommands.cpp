#include "UserCommands.h"

#include "Accounts.h"
#include "Database.h"
#include "Migrations.h"
#include "Secrets.h"

#include <iostream>
#include <istream>
#include <optional>
#include <ostream>
#include <termios.h>
#include <unistd.h>

namespace appserver {

namespace {

constexpr std::size_t kMinPassword = 8;
constexpr std::size_t kMaxPassword = 1024;

// One line of standard input; at a terminal it asks for it and does not echo it.
std::optional<std::string> readPassword(std::istream& in, std::ostream& err) {
    const bool terminal = &in == &std::cin && ::isatty(STDIN_FILENO);
    termios saved{};
    if (terminal && ::tcgetattr(STDIN_FILENO, &saved) == 0) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
        err << "Senha: " << std::flush;
    }
    std::string line;
    const bool got = static_cast<bool>(std::getline(in, line));
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        err << '\n';
    }
    if (!got) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

// 2 for a password that cannot be used, with the reason on `err`.
int checkPassword(const std::optional<std::string>& password, std::ostream& err) {
    if (!password) {
        err << "Nenhuma senha na entrada padrão: envie-a numa linha (ou use --no-password para um usuário "
               "só de tokens).\n";
        return 2;
    }
    if (password->size() < kMinPassword) {
        err << "A senha deve ter ao menos " << kMinPassword << " caracteres.\n";
        return 2;
    }
    if (password->size() > kMaxPassword) {
        err << "A senha deve ter no máximo " << kMaxPassword << " bytes.\n";
        return 2;
    }
    return 0;
}

int noSuchUser(const std::string& name, std::ostream& err) {
    err << "Usuário " << name << " não encontrado.\n";
    return 1;
}

} // namespace

int runUserCommand(const UserCommand& command, const DatabaseUrl& url, std::istream& in, std::ostream& out,
                   std::ostream& err) {
    const std::string& name = command.name;
    if (command.action != "list" && !validUserName(name)) {
        err << "Nome de usuário inválido: \"" << name
            << "\" (use de 1 a 64 letras minúsculas, dígitos, \".\", \"_\", \"-\" ou \"@\", começando por "
               "letra ou dígito).\n";
        return 2;
    }
    std::optional<Role> role;
    if (command.action == "add" || command.action == "role") {
        role = roleFromName(command.role);
        if (!role) {
            err << "Papel desconhecido: \"" << command.role << "\" (use consulta, manutencao ou admin).\n";
            return 2;
        }
    }
    // The password is read before the database is touched: a bad one changes nothing.
    std::optional<std::string> hash;
    if ((command.action == "add" && !command.noPassword) || command.action == "password") {
        const auto password = readPassword(in, err);
        if (const int status = checkPassword(password, err); status != 0) return status;
        secrets::initialize();
        hash = secrets::hashPassword(*password);
    }

    try {
        secrets::initialize();
        Database db(url);
        migrate(db, url.schema);
        Accounts accounts(db);
        if (command.action == "add") {
            if (!accounts.addUser(name, *role, hash)) {
                err << "Usuário " << name << " já existe.\n";
                return 1;
            }
            err << "Usuário " << name << " criado com o papel " << roleName(*role)
                << (hash ? "." : ", sem senha (acesso só por token).") << '\n';
        } else if (command.action == "list") {
            for (const auto& u : accounts.users())
                out << u.name << '\t' << roleName(u.role) << '\t' << (u.active ? "ativo" : "desativado") << '\t'
                    << (u.hasPassword ? "senha" : "sem senha") << '\t' << u.tokens << '\n';
        } else if (command.action == "role") {
            if (!accounts.setRole(name, *role)) return noSuchUser(name, err);
            err << "Usuário " << name << " agora tem o papel " << roleName(*role) << ".\n";
        } else if (command.action == "disable" || command.action == "enable") {
            const bool enable = command.action == "enable";
            if (!accounts.setActive(name, enable)) return noSuchUser(name, err);
            err << (enable ? "Usuário " + name + " reativado."
                           : "Usuário " + name + " desativado; seus logins e tokens foram encerrados.")
                << '\n';
        } else if (command.action == "password") {
            if (!accounts.setPassword(name, *hash)) return noSuchUser(name, err);
            err << "Senha de " << name << " alterada.\n";
        } else if (command.action == "token") {
            const auto token = accounts.newToken(name);
            if (!token) return noSuchUser(name, err);
            out << *token << '\n';
        } else if (command.action == "revoke") {
            const auto count = accounts.revokeTokens(name);
            if (!count) return noSuchUser(name, err);
            err << *count << (*count == 1 ? " token revogado" : " tokens revogados") << " de " << name << ".\n";
        } else {
            err << "Comando desconhecido: user " << command.action << ".\n";
            return 2;
        }
        out.flush();
        return 0;
    } catch (const std::exception& e) {
        err << "Falha na base de dados " << url.display << ": " << e.what() << '\n';
        return 1;
    }
}

} // namespace appserver
