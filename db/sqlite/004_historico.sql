-- History of every accepted change of operation types (TIPOOPERAC, named TIPOOPER in the protocol) and
-- of their message lines (MENSTIPOOPER), written in the transaction of the change itself: a save that
-- fails leaves no history, and a history row that cannot be written undoes the save.
--
-- One row per changed record. DSALTERACOES holds the field-level changes as the JSON array the protocol
-- answers ([{"field":F,"before":V,"after":V}, ...]), so reading a type's history is one indexed range
-- scan whose texts are copied into the answer as they are: no child rows to join, group and re-encode.
-- No foreign key: the history of an operation type outlives the type, and its users' names outlive them.
CREATE TABLE HISTTIPOOPER (
    NRHISTORICO  INTEGER PRIMARY KEY AUTOINCREMENT,
    IDENTRSAIDOP VARCHAR(1) NOT NULL CHECK (length(IDENTRSAIDOP) <= 1),
    CDTIPOOPER   VARCHAR(2) NOT NULL CHECK (length(CDTIPOOPER) <= 2),
    -- UTC, to the second: 2026-12-08T14:03:11Z
    DTALTERACAO  VARCHAR(20) NOT NULL CHECK (length(DTALTERACAO) = 20),
    NMUSUARIO    VARCHAR(64) NOT NULL CHECK (length(NMUSUARIO) <= 64),
    IDOPERACAO   VARCHAR(6) NOT NULL CHECK (IDOPERACAO IN ('insert', 'modify', 'delete')),
    NMTABELA     VARCHAR(12) NOT NULL CHECK (NMTABELA IN ('TIPOOPER', 'MENSTIPOOPER')),
    NRMENSTPOPER BIGINT,
    DSALTERACOES TEXT NOT NULL
);
CREATE INDEX IX_HISTTIPOOPER_TIPO ON HISTTIPOOPER (IDENTRSAIDOP, CDTIPOOPER, NRHISTORICO);
