SELECT name FROM master..sysdatabases WHERE name = N'master'
