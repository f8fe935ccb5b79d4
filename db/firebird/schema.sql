-- Firebird's own objects, after db/tables.sql.

-- Support objects of the lookup queries' InterBase texts: a selectable
-- procedure that hands its argument back as one row, and a null substitute
-- (PSQL: external functions are switched off).
SET TERM ^ ;
CREATE PROCEDURE PARAM (P_VALOR VARCHAR(255)) RETURNS (PARAM VARCHAR(255)) AS
BEGIN
  PARAM = P_VALOR;
  SUSPEND;
END^
CREATE FUNCTION NVLSTR (A VARCHAR(255), B VARCHAR(255)) RETURNS VARCHAR(255) AS
BEGIN
  RETURN COALESCE(A, B);
END^
SET TERM ; ^
COMMIT;

-- The schema version the service checks at start (and upgrades from).
-- Version 3 dropped the index of SQLite's history only: here it is as in 2.
CREATE TABLE SCHEMAINFO (VERSION INTEGER NOT NULL);
COMMIT;
INSERT INTO SCHEMAINFO (VERSION) VALUES (3);
COMMIT;
