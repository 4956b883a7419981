<?php echo "contact"; ?>
