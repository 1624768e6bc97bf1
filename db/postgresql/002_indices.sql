-- Indexes for the lookups the screen runs on every record it shows: the message lines of an operation
-- type, the fiscal-control check before a save, and the supplier search ordered by name.
CREATE INDEX IX_MENSTIPOOPER_TIPO ON MENSTIPOOPER (IDENTRSAIDOP, CDTIPOOPER, NRMENSTPOPER);
CREATE INDEX IX_CONTROLEFISCAL_TIPO ON CONTROLEFISCAL (IDENTRSAIDOP, CDTIPOOPER, IDTIPOPARAM);
CREATE INDEX IX_FORNECEDOR_NOME ON FORNECEDOR (NMRAZSOCFORN);
