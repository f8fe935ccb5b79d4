-- The history of changes (SQLite): appended with each change, never altered.
-- No index beside its key (since schema version 3): a change writes the
-- table's last page only, and the history, read now and then for one company,
-- is read by a scan of it, newest first (about 60 ms over half a million
-- entries of ten companies, against 50 ms through an index by company).
CREATE TABLE HISTPARAMGNRE (
  NRSEQ           INTEGER      NOT NULL PRIMARY KEY,
  DTALTERACAO     VARCHAR(23)  NOT NULL,
  NMUSUARIO       VARCHAR(64),
  DSENDERECO      VARCHAR(64),
  NMMETODO        VARCHAR(20)  NOT NULL,
  IDOPERACAO      VARCHAR(1)   NOT NULL,
  CDEMPRESA       VARCHAR(2)   NOT NULL,
  IDTPGUIA        VARCHAR(3),
  CDINSCESTA      VARCHAR(16),
  NMCAMPO         VARCHAR(31)  NOT NULL,
  DSVALORANTERIOR VARCHAR(250),
  DSVALORNOVO     VARCHAR(250)
);
CREATE TRIGGER HISTPARAMGNRE_SEM_ALTERACAO BEFORE UPDATE ON HISTPARAMGNRE BEGIN SELECT RAISE(ABORT, 'O histórico de alterações não pode ser alterado nem excluído.'); END;
CREATE TRIGGER HISTPARAMGNRE_SEM_EXCLUSAO BEFORE DELETE ON HISTPARAMGNRE BEGIN SELECT RAISE(ABORT, 'O histórico de alterações não pode ser alterado nem excluído.'); END;
