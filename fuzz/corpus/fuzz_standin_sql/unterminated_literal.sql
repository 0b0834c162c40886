SELECT name FROM master.dbo.sysdatabases WHERE name = N'O''Brien
