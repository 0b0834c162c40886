set textsize 2147483647
set ansi_nulls on