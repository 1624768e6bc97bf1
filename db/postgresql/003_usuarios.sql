-- Users of the application server, their logins (tickets) and their API tokens for programs.
-- Secrets are kept only as hashes: a copy of these tables opens no session and reveals no password.
-- IDPAPEL: 'consulta' reads; 'manutencao' also writes operation types and messages; 'admin' also
-- manages users.

CREATE TABLE USUARIO (
    NMUSUARIO VARCHAR(64) NOT NULL PRIMARY KEY,
    IDPAPEL   VARCHAR(12) NOT NULL CHECK (IDPAPEL IN ('consulta', 'manutencao', 'admin')),
    -- Argon2id in its self-describing text form (algorithm, cost, salt, hash); NULL: the user has no
    -- password and reaches the server only with API tokens.
    DSSENHA   VARCHAR(255),
    IDATIVO   VARCHAR(1) NOT NULL DEFAULT 'S' CHECK (IDATIVO IN ('S', 'N')),
    DTCRIACAO VARCHAR(30) NOT NULL
);

-- A ticket is one login; it expires after an idle time, counted from NRULTIMOUSO (seconds since
-- 1970, UTC), which use pushes forward.
CREATE TABLE TICKETUSUARIO (
    DSHASH      VARCHAR(64) NOT NULL PRIMARY KEY CHECK (length(DSHASH) = 64),
    NMUSUARIO   VARCHAR(64) NOT NULL REFERENCES USUARIO (NMUSUARIO) ON DELETE CASCADE,
    NRULTIMOUSO BIGINT NOT NULL,
    DTCRIACAO   VARCHAR(30) NOT NULL
);
CREATE INDEX IX_TICKETUSUARIO_USUARIO ON TICKETUSUARIO (NMUSUARIO);
CREATE INDEX IX_TICKETUSUARIO_USO ON TICKETUSUARIO (NRULTIMOUSO);

-- API tokens do not expire; they end when revoked or when their user is disabled.
CREATE TABLE TOKENUSUARIO (
    DSHASH    VARCHAR(64) NOT NULL PRIMARY KEY CHECK (length(DSHASH) = 64),
    NMUSUARIO VARCHAR(64) NOT NULL REFERENCES USUARIO (NMUSUARIO) ON DELETE CASCADE,
    DTCRIACAO VARCHAR(30) NOT NULL
);
CREATE INDEX IX_TOKENUSUARIO_USUARIO ON TOKENUSUARIO (NMUSUARIO);
