-- Demonstration data: loaded by --demo into an empty database only. Plain INSERT/UPDATE statements that
-- both dialects accept. Supplier registration numbers carry valid CPF/CNPJ check digits.

INSERT INTO TIPOCUSTO (CDTIPOCUSTO, NMTIPOCUSTO) VALUES
    ('01', 'Custo médio ponderado'),
    ('02', 'Custo de reposição'),
    ('03', 'Custo da última compra'),
    ('04', 'Custo padrão'),
    ('05', 'Custo contábil (sem impostos recuperáveis)');

INSERT INTO TABPRECO (CDPRECOBASE, DSPRECOBASE) VALUES
    ('01', 'Tabela varejo'),
    ('02', 'Tabela atacado'),
    ('03', 'Tabela distribuidores'),
    ('04', 'Tabela promocional'),
    ('05', 'Tabela transferência filiais');

INSERT INTO ENCARGO (CDENCARGO, NMENCARGO) VALUES
    ('01', 'Frete'),
    ('02', 'Seguro'),
    ('03', 'Despesas acessórias'),
    ('04', 'IPI'),
    ('05', 'ICMS ST'),
    ('06', 'Armazenagem'),
    ('07', 'Taxas aduaneiras'),
    ('08', 'Capatazia');

INSERT INTO FORNECEDOR (CDFORNECED, NRINSJURFORN, NMRAZSOCFORN, IDTPIJURFORN) VALUES
    ('000101', '11222333000181', 'Distribuidora Paulista de Alimentos Ltda', 'J'),
    ('000102', '45872193000109', 'Manutenção Predial Horizonte Ltda', 'J'),
    ('000103', '60391478000111', 'Indústria Metalúrgica Vale do Aço S.A.', 'J'),
    ('000104', '77540216000174', 'Transportadora Rota Sul Ltda', 'J'),
    ('000105', '20918346000180', 'Importadora Atlântico Comércio Exterior', 'J'),
    ('000106', '33445566000267', 'Cooperativa Agrícola Serra Verde', 'J'),
    ('000201', '12345678909', 'José Carlos de Oliveira', 'F'),
    ('000202', '98765432100', 'Maria Aparecida dos Santos', 'F'),
    ('000203', '31415926590', 'Antônio Ferreira Lima', 'F'),
    ('000204', '27182818205', 'Ana Beatriz Souza Costa', 'F');

-- Operation types: key, name, origin/destination, references and lists first; the option flags after.
INSERT INTO TIPOOPERAC (IDENTRSAIDOP, CDTIPOOPER, NMTIPOOPER, IDORIGDESTOP, IDGERANFCMP, CDTIPOCUSTO, CDPRECOBASE, DSOPERNFORIG, DSOPERENCRATPL, CDTIPOOPERBONIF, CDEXTIPOOPER, IDINFCPFCNPJNF, NRINSJURFORN, IDTPIJURFORN, CDFORNECEDPADR, DSOPERNFAVISTA) VALUES
    ('E', '01', 'Compra para revenda', 'F', 'N', '01', '01', NULL, '01,02,05', NULL, '1102', 'N', NULL, NULL, NULL, NULL),
    ('E', '02', 'Compra para uso e consumo', 'F', 'N', '03', NULL, NULL, 'N', NULL, '1556', 'N', NULL, NULL, NULL, NULL),
    ('E', '03', 'Devolução de venda', 'C', 'N', '01', '01', 'S-01,S-02', 'N', NULL, '1202', 'N', NULL, NULL, NULL, NULL),
    ('E', '04', 'Transferência entre filiais', 'L', 'N', '01', '05', NULL, 'T', NULL, '1152', 'N', NULL, NULL, NULL, NULL),
    ('E', '05', 'Bonificação recebida', 'F', 'N', '02', NULL, NULL, 'N', NULL, '1910', 'N', NULL, NULL, NULL, NULL),
    ('E', '06', 'Importação direta', 'F', 'S', '01', '01', NULL, '01,02,07,08', NULL, '3102', 'N', NULL, NULL, NULL, NULL),
    ('E', '10', 'Retorno de industrialização', 'F', 'N', '04', NULL, 'S-20', 'N', NULL, '1902', 'N', NULL, NULL, NULL, NULL),
    ('E', '11', 'Ajuste de estoque (entrada)', 'L', 'N', '05', NULL, NULL, 'N', NULL, '1949', 'N', NULL, NULL, NULL, NULL),
    ('E', '12', 'Aquisição de serviço tomado', 'F', 'N', NULL, NULL, NULL, 'N', NULL, '1933', 'S', '45872193000109', 'J', '000102', 'Serviço de manutenção predial'),
    ('E', '13', 'Retorno de merc. não entregue', 'C', 'N', '01', NULL, 'S-01,S-05', 'N', NULL, '1949', 'N', NULL, NULL, NULL, NULL),
    ('E', '14', 'Compra de ativo imobilizado', 'F', 'N', NULL, NULL, NULL, '01,02', NULL, '1551', 'N', NULL, NULL, NULL, NULL),
    ('E', '15', 'Compra de produtor rural', 'F', 'S', '01', '01', NULL, '01', NULL, '1102', 'S', '98765432100', 'F', '000202', 'Aquisição de produção rural'),
    ('E', '16', 'Estorno cancelamento NF saída', 'C', 'N', '01', NULL, 'S-01,S-07', 'N', NULL, NULL, 'N', NULL, NULL, NULL, NULL),
    ('S', '01', 'Venda de mercadoria', 'C', 'N', '01', '01', NULL, 'N', '05', '5102', 'N', NULL, NULL, NULL, NULL),
    ('S', '02', 'Venda para entrega futura', 'C', 'N', '01', '02', NULL, 'N', '05', '5922', 'N', NULL, NULL, NULL, NULL),
    ('S', '03', 'Remessa para conserto', 'F', 'N', '01', NULL, NULL, 'N', NULL, '5915', 'N', NULL, NULL, NULL, NULL),
    ('S', '04', 'Transferência entre filiais', 'L', 'N', '01', '05', NULL, 'T', NULL, '5152', 'N', NULL, NULL, NULL, NULL),
    ('S', '05', 'Remessa em bonificação', 'C', 'N', '01', '01', NULL, 'N', NULL, '5910', 'N', NULL, NULL, NULL, NULL),
    ('S', '06', 'Devolução de compra', 'F', 'N', '01', NULL, 'E-01,E-05', '01', NULL, '5202', 'N', NULL, NULL, NULL, NULL),
    ('S', '07', 'Venda a consumidor (NFC-e)', 'C', 'N', '01', '01', NULL, 'N', '05', '5405', 'N', NULL, NULL, NULL, NULL),
    ('S', '10', 'Prestação de serviço', 'C', 'N', NULL, NULL, NULL, 'N', NULL, '5933', 'N', NULL, NULL, NULL, NULL),
    ('S', '11', 'NF complementar de ajuste', 'C', 'N', NULL, NULL, NULL, 'N', NULL, '5949', 'N', NULL, NULL, NULL, NULL),
    ('S', '13', 'Estorno cancelamento NF entr.', 'F', 'N', '01', NULL, 'E-01,E-02', 'N', NULL, NULL, 'N', NULL, NULL, NULL, NULL),
    ('S', '20', 'Remessa para industrialização', 'F', 'N', '04', NULL, NULL, '01', NULL, '5901', 'N', NULL, NULL, NULL, NULL);

-- Every option starts as "N"; the options each type uses are switched on below.
UPDATE TIPOOPERAC SET
    IDUTCUSORIGEST = 'N',
    IDGERADUPLI = 'N',
    IDPERALTDSEM = 'N',
    IDPERNUMENF = 'N',
    IDUTILEMISNF = 'N',
    IDGERAVENC = 'N',
    IDUTILVENC = 'N',
    IDUTLLISTORI = 'N',
    IDNFORIGOBRI = 'N',
    IDOPERDEVONF = 'N',
    IDATUESTTPOP = 'N',
    IDDCORIGRELAC = 'N',
    IDSERIEAUTO = 'N',
    IDCONSCTBRAT = 'N',
    IDUTILVENCOBR = 'N',
    IDGERAVENCNFAP = 'N',
    IDUTGERNFTRAN = 'N',
    IDCONSPARFIS = 'N',
    IDNOTADEVO = 'N',
    IDBRINDETPOPER = 'N',
    IDUTILNFSE = 'N',
    IDCOAVRIMPVRPROD = 'N',
    IDNFPRESTSERV = 'N',
    IDNFESTCANC = 'N',
    IDNFAJUSTE = 'N',
    IDCONTABOPER = 'N',
    IDUTCTRLAIDF = 'N',
    IDNFIMPORTACAO = 'N',
    IDTIPOOPERELE = 'N',
    IDOPERDEVOOL = 'N',
    IDOBRDTREFFAT = 'N',
    IDALTDTREFAPROV = 'N',
    IDCONTSOMENIMPO = 'N',
    IDNFRETIND = 'N',
    IDCONTCONFORIG = 'N',
    IDDESCIMPRECCOFI = 'N',
    IDREMESSAINDU = 'N',
    IDOPTRIANGULAR = 'N',
    IDENTRTERCEIRO = 'N',
    IDCMPVNDBONI = 'N',
    IDUTLOCPRESTSERV = 'N',
    IDBLOQFECHADIANF = 'N',
    IDCALCDIFALDENT = 'N',
    IDCONSANACONC = 'N',
    IDREMEINSUAPROV = 'N',
    IDESTVRESTCTBDEVVEND = 'N',
    IDNFDEBITO = 'N',
    IDAPROVAUTOPS = 'N',
    IDBONIFICACAO = 'N',
    IDREGESPECIAL = 'N',
    IDESTORNONFCE = 'N',
    IDREARATMANNF = 'N',
    IDNTRANSCREICMS = 'N',
    IDBLOQPRESTTPOP = 'N',
    IDCALCVALFRETE = 'N',
    IDNFSTMANUAL = 'N',
    IDIMPDSPRODEMIS = 'N',
    IDCONSLISPRECO = 'N',
    IDNFIMPORTACAOIND = 'N',
    IDBLOQNFFORAMES = 'N',
    IDSUGQTDTOTDEV = 'N';

UPDATE TIPOOPERAC SET IDATUESTTPOP = 'S', IDUTILVENC = 'S', IDGERAVENC = 'S', IDUTILVENCOBR = 'S', IDGERAVENCNFAP = 'S', IDCONSPARFIS = 'S', IDTIPOOPERELE = 'S', IDCONTABOPER = 'S', IDPERNUMENF = 'S', IDCONSCTBRAT = 'S', IDOBRDTREFFAT = 'S' WHERE IDENTRSAIDOP = 'E' AND CDTIPOOPER = '01';
UPDATE TIPOOPERAC SET IDUTILVENC = 'S', IDGERAVENCNFAP = 'S', IDCONSPARFIS = 'S', IDTIPOOPERELE = 'S', IDCONTABOPER = 'S', IDPERNUMENF = 'S' WHERE IDENTRSAIDOP = 'E' AND CDTIPOOPER = '02';
UPDATE TIPOOPERAC SET IDATUESTTPOP = 'S', IDOPERDEVONF = 'S', IDNFORIGOBRI = 'S', IDUTCUSORIGEST = 'S', IDCONTCONFORIG = 'S', IDTIPOOPERELE = 'S', IDCONTABOPER = 'S', IDESTVRESTCTBDEVVEND = 'S' WHERE IDENTRSAIDOP = 'E' AND CDTIPOOPER = '03';
UPDATE TIPOOPERAC SET IDATUESTTPOP = 'S', IDDESCIMPRECCOFI = 'S', IDTIPOOPERELE = 'S', IDCONTABOPER = 'S', IDSERIEAUTO = 'S' WHERE IDENTRSAIDOP = 'E' AND CDTIPOOPER = '04';
UPDATE TIPOOPERAC SET IDBONIFICACAO = 'S', IDCMPVNDBONI = 'S', IDGERADUPLI = 'S', IDTIPOOPERELE = 'S', IDCONTABOPER = 'S' WHERE IDENTRSAIDOP = 'E' AND CDTIPOOPER = '05';
UPDATE TIPOOPERAC SET IDNFIMPORTACAO = 'S', IDATUESTTPOP = 'S', IDUTILVENC = 'S', IDGERAVENC = 'S', IDUTILEMISNF = 'S', IDTIPOOPERELE = 'S', IDCONTABOPER = 'S', IDCALCVALFRETE = 'S' WHERE IDENTRSAIDOP = 'E' AND CDTIPOOPER = '06';
UPDATE TIPOOPERAC SET IDNFRETIND = 'S', IDOPERDEVONF = 'S', IDNFORIGOBRI = 'S', IDUTLLISTORI = 'S', IDATUESTTPOP = 'S', IDTIPOOPERELE = 'S', IDCONTABOPER = 'S' WHERE IDENTRSAIDOP = 'E' AND CDTIPOOPER = '10';
UPDATE TIPOOPERAC SET IDNFAJUSTE = 'S', IDGERADUPLI = 'S', IDCONTABOPER = 'S', IDCONTSOMENIMPO = 'S' WHERE IDENTRSAIDOP = 'E' AND CDTIPOOPER = '11';
UPDATE TIPOOPERAC SET IDNFPRESTSERV = 'S', IDUTILNFSE = 'S', IDUTLOCPRESTSERV = 'S', IDUTILVENC = 'S', IDGERAVENCNFAP = 'S', IDCONTABOPER = 'S' WHERE IDENTRSAIDOP = 'E' AND CDTIPOOPER = '12';
UPDATE TIPOOPERAC SET IDOPERDEVONF = 'S', IDATUESTTPOP = 'S', IDUTCUSORIGEST = 'S', IDTIPOOPERELE = 'S', IDCONTABOPER = 'S' WHERE IDENTRSAIDOP = 'E' AND CDTIPOOPER = '13';
UPDATE TIPOOPERAC SET IDUTILVENC = 'S', IDGERAVENCNFAP = 'S', IDCONSPARFIS = 'S', IDTIPOOPERELE = 'S', IDCONTABOPER = 'S', IDCALCDIFALDENT = 'S' WHERE IDENTRSAIDOP = 'E' AND CDTIPOOPER = '14';
UPDATE TIPOOPERAC SET IDATUESTTPOP = 'S', IDUTILVENC = 'S', IDUTILEMISNF = 'S', IDTIPOOPERELE = 'S', IDCONTABOPER = 'S', IDSERIEAUTO = 'S' WHERE IDENTRSAIDOP = 'E' AND CDTIPOOPER = '15';
UPDATE TIPOOPERAC SET IDNFESTCANC = 'S', IDOPERDEVONF = 'S', IDNFORIGOBRI = 'S', IDATUESTTPOP = 'S', IDTIPOOPERELE = 'S' WHERE IDENTRSAIDOP = 'E' AND CDTIPOOPER = '16';
UPDATE TIPOOPERAC SET IDATUESTTPOP = 'S', IDUTILVENC = 'S', IDGERAVENC = 'S', IDUTILEMISNF = 'S', IDTIPOOPERELE = 'S', IDSERIEAUTO = 'S', IDCONTABOPER = 'S', IDCONSLISPRECO = 'S', IDBLOQNFFORAMES = 'S', IDPERALTDSEM = 'S' WHERE IDENTRSAIDOP = 'S' AND CDTIPOOPER = '01';
UPDATE TIPOOPERAC SET IDUTILVENC = 'S', IDGERAVENC = 'S', IDUTILEMISNF = 'S', IDTIPOOPERELE = 'S', IDSERIEAUTO = 'S', IDCONTABOPER = 'S' WHERE IDENTRSAIDOP = 'S' AND CDTIPOOPER = '02';
UPDATE TIPOOPERAC SET IDGERADUPLI = 'S', IDUTILEMISNF = 'S', IDTIPOOPERELE = 'S', IDSERIEAUTO = 'S' WHERE IDENTRSAIDOP = 'S' AND CDTIPOOPER = '03';
UPDATE TIPOOPERAC SET IDATUESTTPOP = 'S', IDUTGERNFTRAN = 'S', IDDESCIMPRECCOFI = 'S', IDUTILEMISNF = 'S', IDTIPOOPERELE = 'S', IDSERIEAUTO = 'S', IDCONTABOPER = 'S' WHERE IDENTRSAIDOP = 'S' AND CDTIPOOPER = '04';
UPDATE TIPOOPERAC SET IDBONIFICACAO = 'S', IDCMPVNDBONI = 'S', IDBRINDETPOPER = 'S', IDGERADUPLI = 'S', IDUTILEMISNF = 'S', IDTIPOOPERELE = 'S', IDCONTABOPER = 'S' WHERE IDENTRSAIDOP = 'S' AND CDTIPOOPER = '05';
UPDATE TIPOOPERAC SET IDOPERDEVONF = 'S', IDNFORIGOBRI = 'S', IDUTLLISTORI = 'S', IDNOTADEVO = 'S', IDSUGQTDTOTDEV = 'S', IDATUESTTPOP = 'S', IDUTILEMISNF = 'S', IDTIPOOPERELE = 'S', IDCONTABOPER = 'S' WHERE IDENTRSAIDOP = 'S' AND CDTIPOOPER = '06';
UPDATE TIPOOPERAC SET IDATUESTTPOP = 'S', IDUTILEMISNF = 'S', IDCONSLISPRECO = 'S', IDBLOQFECHADIANF = 'S', IDCONTABOPER = 'S', IDSERIEAUTO = 'S' WHERE IDENTRSAIDOP = 'S' AND CDTIPOOPER = '07';
UPDATE TIPOOPERAC SET IDNFPRESTSERV = 'S', IDUTILNFSE = 'S', IDIMPDSPRODEMIS = 'S', IDUTLOCPRESTSERV = 'S', IDUTILVENC = 'S', IDGERAVENC = 'S', IDCONTABOPER = 'S' WHERE IDENTRSAIDOP = 'S' AND CDTIPOOPER = '10';
UPDATE TIPOOPERAC SET IDNFAJUSTE = 'S', IDGERADUPLI = 'S', IDCONTSOMENIMPO = 'S', IDCONTABOPER = 'S' WHERE IDENTRSAIDOP = 'S' AND CDTIPOOPER = '11';
UPDATE TIPOOPERAC SET IDNFESTCANC = 'S', IDOPERDEVONF = 'S', IDNFORIGOBRI = 'S', IDATUESTTPOP = 'S', IDTIPOOPERELE = 'S' WHERE IDENTRSAIDOP = 'S' AND CDTIPOOPER = '13';
UPDATE TIPOOPERAC SET IDREMESSAINDU = 'S', IDATUESTTPOP = 'S', IDUTILEMISNF = 'S', IDTIPOOPERELE = 'S', IDSERIEAUTO = 'S' WHERE IDENTRSAIDOP = 'S' AND CDTIPOOPER = '20';

-- A few options were never answered on older types: they stay empty, as they do in a real register.
UPDATE TIPOOPERAC SET IDGERAVENC = NULL, IDCOAVRIMPVRPROD = NULL WHERE IDENTRSAIDOP = 'E' AND CDTIPOOPER IN ('02', '11');
UPDATE TIPOOPERAC SET IDNFSTMANUAL = NULL, CDEVENTOSNCM = NULL WHERE IDENTRSAIDOP = 'S' AND CDTIPOOPER = '03';
UPDATE TIPOOPERAC SET CDEVENTOSNCM = '01' WHERE IDENTRSAIDOP = 'S' AND CDTIPOOPER = '05';

INSERT INTO MENSTIPOOPER (CDTIPOOPER, IDENTRSAIDOP, CDMENSAGEM, DSMENSAGEM) VALUES
    ('01', 'E', '001', 'Mercadoria destinada a revenda.'),
    ('01', 'E', '002', 'Conferir pedido de compra antes do lançamento.'),
    ('06', 'E', '001', 'Importação direta: informar a DI e a data de desembaraço aduaneiro.'),
    ('01', 'S', '001', 'Documento emitido por contribuinte do ICMS.'),
    ('01', 'S', '002', 'Não é permitido o aproveitamento de crédito de ICMS no caso de consumidor final.'),
    ('01', 'S', '010', 'Troca somente mediante apresentação desta nota fiscal em até 30 dias.'),
    ('05', 'S', '001', 'Mercadoria remetida em bonificação, sem valor comercial.'),
    ('10', 'S', '001', 'Serviço sujeito à retenção de ISS conforme legislação municipal.'),
    ('06', 'S', '001', 'Devolução referente à NF de origem informada nos dados adicionais.');

-- The accessory-expense row blocks saving E-14 while it does not use origin documents; the other kinds of
-- parametrisation block nothing.
INSERT INTO CONTROLEFISCAL (CDTIPOOPER, IDENTRSAIDOP, IDTIPOPARAM, DSPARAMETRO) VALUES
    ('14', 'E', 'D', 'Frete e seguro rateados sobre o ativo imobilizado'),
    ('01', 'S', 'I', 'ICMS próprio pela alíquota interna'),
    ('01', 'E', 'R', 'Retenção de PIS, COFINS e CSLL sobre serviços');
