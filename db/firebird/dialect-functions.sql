-- NVL and ISNULL on Firebird, so the Oracle and SQL Server texts of the lookup
-- queries can be checked against the same data (test databases only).
SET TERM ^ ;
CREATE FUNCTION NVL (A VARCHAR(255), B VARCHAR(255)) RETURNS VARCHAR(255) AS
BEGIN
  RETURN COALESCE(A, B);
END^
CREATE FUNCTION ISNULL (A VARCHAR(255), B VARCHAR(255)) RETURNS VARCHAR(255) AS
BEGIN
  RETURN COALESCE(A, B);
END^
SET TERM ; ^
COMMIT;
